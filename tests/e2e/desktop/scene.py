#!/usr/bin/python3
"""A maximised GTK 3 window that shows picture N (0, 1, 2, ...) and the next one on each SIGUSR1:
blocks in colours of their own that move with N, white corner markers. No red anywhere, so a
red pixel on the screen is Quillora's frame. scene.py [TITLE]"""
import signal, sys, gi
gi.require_version('Gtk', '3.0')
from gi.repository import Gtk, GLib

step = [0]
win = Gtk.Window(title=sys.argv[1] if len(sys.argv) > 1 else 'scene')
area = Gtk.DrawingArea()
win.add(area)

def draw(widget, cr):
    n = step[0]
    w, h = widget.get_allocated_width(), widget.get_allocated_height()
    cr.set_source_rgb(0.1, 0.2 + 0.1 * (n % 4), 0.3); cr.paint()
    cr.set_source_rgb(1.0, 0.8, 0.0); cr.rectangle(100 + 150 * n, 150, 220, 160); cr.fill()
    cr.set_source_rgb(0.2, 0.8, 0.9); cr.arc(900 - 120 * n, 420, 70, 0, 6.3); cr.fill()
    cr.set_source_rgb(0.4, 0.9, 0.3); cr.rectangle(50, 500 - 40 * n, 1100, 30); cr.fill()
    cr.set_source_rgb(1, 1, 1)
    for x, y in ((0, 0), (w - 8, 0), (0, h - 8), (w - 8, h - 8)):
        cr.rectangle(x, y, 8, 8); cr.fill()

def next_picture():
    step[0] += 1
    area.queue_draw()
    return True

area.connect('draw', draw)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, next_picture)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: Gtk.main_quit() or False)
win.connect('destroy', Gtk.main_quit)
win.maximize()
win.show_all()
Gtk.main()
