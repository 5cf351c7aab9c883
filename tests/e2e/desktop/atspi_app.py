#!/usr/bin/python3
"""A program's windows and buttons over AT-SPI, as a screen reader sees them.
  atspi_app.py windows APP                  the names of APP's top-level windows, one a line
  atspi_app.py press APP WINDOW BUTTON      press the button named BUTTON in APP's window WINDOW
  atspi_app.py text APP WINDOW              the names of the labels in APP's window WINDOW
  atspi_app.py check APP WINDOW NAME        toggle the radio button or check box NAME on
WINDOW and BUTTON are regular expressions matched against the whole name; mnemonics' & are
ignored. Waits up to --timeout S (default 10) for the window and the control."""
import re, sys, time, pyatspi

args = sys.argv[1:]
timeout = 10.0
if '--timeout' in args:
    i = args.index('--timeout'); timeout = float(args[i + 1]); del args[i:i + 2]

def apps(name):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and (app.name or '').lower() == name.lower():
            yield app

def windows(name):
    return [w for app in apps(name) for w in app
            if w is not None and w.getState().contains(pyatspi.STATE_SHOWING)]

def walk(acc, depth=0):
    yield acc
    if depth < 40:
        for c in acc:
            if c is not None:
                yield from walk(c, depth + 1)

def find(app, window, roles, control):
    for w in windows(app):
        if not re.fullmatch(window, w.name or ''):
            continue
        for n in walk(w):
            if n.getRoleName() in roles and re.fullmatch(control, (n.name or '').replace('&', '')):
                return n
    return None

def act(node, names):
    ai = node.queryAction()
    for i in range(ai.nActions):
        if ai.getName(i) in names:
            return ai.doAction(i)
    return ai.doAction(0)

cmd = args[0]
if cmd == 'windows':
    for w in windows(args[1]):
        print(w.name)
    sys.exit(0)
if cmd == 'text':
    for w in windows(args[1]):
        if re.fullmatch(args[2], w.name or ''):
            for n in walk(w):
                if n.getRoleName() == 'label' and n.name:
                    print(n.name)
    sys.exit(0)
roles = {'press': ('push button',), 'check': ('radio button', 'check box', 'toggle button')}[cmd]
end = time.monotonic() + timeout
while True:
    try:
        node = find(args[1], args[2], roles, args[3])
    except Exception:
        node = None
    if node is not None:
        break
    if time.monotonic() > end:
        sys.exit('no %s %r in a window %r of %s' % (roles[0], args[3], args[2], args[1]))
    time.sleep(0.1)
if cmd == 'check' and node.getState().contains(pyatspi.STATE_CHECKED):
    sys.exit(0)
try:
    act(node, ('Press', 'press', 'click', 'Toggle', 'toggle'))
except Exception as e:
    # A button that opens a modal box answers only once the box closes.
    if 'Did not receive a reply' not in str(e):
        raise
