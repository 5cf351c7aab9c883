#!/usr/bin/python3
"""Input on a (headless) GNOME Shell or mutter through org.gnome.Mutter.RemoteDesktop, with no
portal and no dialog. gnome_input.py COMMAND...
  move X,Y      absolute pointer motion in the monitor's pixels (through a linked RecordMonitor stream)
  rel DX,DY     relative motion
  click         left button press and release
  key COMBO     keys held together, e.g. ctrl+n, alt+s, Return, Escape, space, a
  type TEXT     the characters of TEXT, one after the other
  sleep S       seconds"""
import sys, time, dbus

NAMED = {'ctrl': 0xffe3, 'alt': 0xffe9, 'shift': 0xffe1, 'super': 0xffeb, 'return': 0xff0d,
         'escape': 0xff1b, 'tab': 0xff09, 'space': 0x20, 'backspace': 0xff08, 'f2': 0xffbf,
         'left': 0xff51, 'up': 0xff52, 'right': 0xff53, 'down': 0xff54, 'delete': 0xffff}

def keysym(name):
    return NAMED.get(name.lower(), ord(name) if len(name) == 1 else None)

args = sys.argv[1:]
bus = dbus.SessionBus()
rd = dbus.Interface(bus.get_object('org.gnome.Mutter.RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop'),
                    'org.gnome.Mutter.RemoteDesktop')
spath = rd.CreateSession()
sobj = bus.get_object('org.gnome.Mutter.RemoteDesktop', spath)
sess = dbus.Interface(sobj, 'org.gnome.Mutter.RemoteDesktop.Session')
sid = sobj.Get('org.gnome.Mutter.RemoteDesktop.Session', 'SessionId', dbus_interface='org.freedesktop.DBus.Properties')
stream = None
if 'move' in args:
    dc = dbus.Interface(bus.get_object('org.gnome.Mutter.DisplayConfig', '/org/gnome/Mutter/DisplayConfig'),
                        'org.gnome.Mutter.DisplayConfig')
    serial, monitors, logical, props = dc.GetCurrentState()
    connector = str(monitors[0][0][0])
    sc = dbus.Interface(bus.get_object('org.gnome.Mutter.ScreenCast', '/org/gnome/Mutter/ScreenCast'),
                        'org.gnome.Mutter.ScreenCast')
    scpath = sc.CreateSession({'remote-desktop-session-id': sid})
    scs = dbus.Interface(bus.get_object('org.gnome.Mutter.ScreenCast', scpath), 'org.gnome.Mutter.ScreenCast.Session')
    stream = scs.RecordMonitor(connector, {'cursor-mode': dbus.UInt32(0)})
sess.Start()
# mutter adds its virtual devices after Start returns, and the first key
# event of a session is lost: a Shift tap goes first
time.sleep(0.4)
if 'key' in args or 'type' in args:
    sess.NotifyKeyboardKeysym(dbus.UInt32(NAMED['shift']), True)
    sess.NotifyKeyboardKeysym(dbus.UInt32(NAMED['shift']), False)
    time.sleep(0.2)

def press(syms, down):
    for s in (syms if down else reversed(syms)):
        sess.NotifyKeyboardKeysym(dbus.UInt32(s), down)
        time.sleep(0.05)

i = 0
while i < len(args):
    cmd = args[i]; arg = args[i + 1] if i + 1 < len(args) else ''
    i += 1 if cmd == 'click' else 2
    if cmd == 'move':
        x, y = (float(v) for v in arg.split(','))
        sess.NotifyPointerMotionAbsolute(stream, x, y)
    elif cmd == 'rel':
        x, y = (float(v) for v in arg.split(','))
        sess.NotifyPointerMotionRelative(x, y)
    elif cmd == 'click':
        sess.NotifyPointerButton(272, True); time.sleep(0.05); sess.NotifyPointerButton(272, False)
    elif cmd == 'key':
        syms = [keysym(k) for k in arg.split('+')]
        if None in syms:
            sys.exit('unknown key in ' + arg)
        press(syms, True); time.sleep(0.05); press(syms, False)
    elif cmd == 'type':
        for ch in arg:
            press([ord(ch)], True); press([ord(ch)], False)
    elif cmd == 'sleep':
        time.sleep(float(arg))
    else:
        sys.exit('unknown command ' + cmd)
    time.sleep(0.1)
sess.Stop()
