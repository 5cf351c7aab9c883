#!/usr/bin/python3
"""A grab of the monitor by mutter's own screen cast (org.gnome.Mutter.ScreenCast, no portal)
read with GStreamer's pipewiresrc: gnome_grab.py OUT.png [--cursor]"""
import subprocess, sys, dbus, dbus.mainloop.glib
from gi.repository import GLib

out = sys.argv[1]
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
dc = dbus.Interface(bus.get_object('org.gnome.Mutter.DisplayConfig', '/org/gnome/Mutter/DisplayConfig'),
                    'org.gnome.Mutter.DisplayConfig')
connector = str(dc.GetCurrentState()[1][0][0][0])
sc = dbus.Interface(bus.get_object('org.gnome.Mutter.ScreenCast', '/org/gnome/Mutter/ScreenCast'),
                    'org.gnome.Mutter.ScreenCast')
spath = sc.CreateSession({})
sess = dbus.Interface(bus.get_object('org.gnome.Mutter.ScreenCast', spath), 'org.gnome.Mutter.ScreenCast.Session')
mode = 2 if '--cursor' in sys.argv else 0  # embedded or hidden
stream_path = sess.RecordMonitor(connector, {'cursor-mode': dbus.UInt32(mode)})
loop = GLib.MainLoop(); node = []
def added(n):
    node.append(int(n)); loop.quit()
bus.add_signal_receiver(added, 'PipeWireStreamAdded', 'org.gnome.Mutter.ScreenCast.Stream', path=stream_path)
sess.Start()
GLib.timeout_add(10000, loop.quit)
loop.run()
if not node:
    sys.exit('no stream from mutter')
rc = subprocess.run(['gst-launch-1.0', '-q', 'pipewiresrc', 'path=%d' % node[0], 'num-buffers=1', 'always-copy=true',
                     '!', 'videoconvert', '!', 'pngenc', '!', 'filesink', 'location=' + out],
                    timeout=30).returncode
sess.Stop()
sys.exit(rc)
