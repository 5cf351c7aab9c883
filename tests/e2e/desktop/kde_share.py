#!/usr/bin/python3
"""Pass xdg-desktop-portal-kde's 'Screen Sharing' chooser: find it over AT-SPI, get its window
position from a KWin script, click the screen entry (the list item after 'New Virtual Output')
with kwin_fakeinput, tick 'Allow restoring on future sessions', press Share.
kde_share.py [--timeout S] [--no-remember]  (needs DESKTOP_TEST_SESSION; kwin_fakeinput in DIR/bin)"""
import json, os, re, subprocess, sys, time, pyatspi
DIR = os.environ['DESKTOP_TEST_SESSION']
FI = os.path.join(DIR, 'bin', 'kwin_fakeinput')
timeout = float(sys.argv[sys.argv.index('--timeout') + 1]) if '--timeout' in sys.argv else 30
remember = '--no-remember' not in sys.argv
T0 = time.monotonic()
def log(*a): print('kde_share %.2fs:' % (time.monotonic() - T0), *a, flush=True)
def walk(a):
    yield a
    for c in a:
        if c is not None: yield from walk(c)
def states(a): return {pyatspi.stateToString(s) for s in a.getState().getStates()}
def action(a, name):
    ai = a.queryAction()
    for i in range(ai.nActions):
        if ai.getName(i) == name: return ai.doAction(i)
    raise RuntimeError('no action %s on %s' % (name, a.name))

win = None
while time.monotonic() - T0 < timeout and win is None:
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or 'portal' not in (app.name or ''): continue
        for w in app:
            if w is not None and w.name == 'Screen Sharing': win = w
    if win is None: time.sleep(0.2)
if win is None: log('no dialog'); sys.exit(1)
nodes = list(walk(win))
items = [n for n in nodes if n.getRoleName() == 'list item']
names = [' '.join(c.name for c in it if c is not None and c.name) for it in items]
log('items', names)
screens = [it for it, nm in zip(items, names) if 'New Virtual Output' not in nm and 'Region' not in nm]
if not screens: log('no screen item'); sys.exit(2)
e = screens[0].queryComponent().getExtents(pyatspi.WINDOW_COORDS)
# window position: a KWin script prints the client geometries into kwin's log
js = os.path.join(DIR, 'test-wins.js')
open(js, 'w').write('var cl = workspace.clientList(); for (var i = 0; i < cl.length; i++) { var c = cl[i];'
    ' print("TESTWIN " + JSON.stringify({caption: c.caption, x: c.x, y: c.y, w: c.width, h: c.height,'
    ' v: 2})); }')
plugin = 'testwins%d' % os.getpid()
gd = ['gdbus', 'call', '--session', '-d', 'org.kde.KWin', '-o', '/Scripting', '-m']
subprocess.run(gd + ['org.kde.kwin.Scripting.loadScript', js, plugin], check=True, capture_output=True)
subprocess.run(gd + ['org.kde.kwin.Scripting.start'], check=True, capture_output=True)
time.sleep(0.3)
subprocess.run(gd + ['org.kde.kwin.Scripting.unloadScript', plugin], capture_output=True)
geo = None
for line in open(os.path.join(DIR, 'log', 'compositor.log'), errors='replace'):
    m = re.search(r'TESTWIN (\{.*\})', line)
    if m and '"v":2' in m.group(1) and json.loads(m.group(1))['caption'].startswith('Screen Sharing'): geo = json.loads(m.group(1))
if geo is None: log('no window geometry from KWin'); sys.exit(3)
fw = win.queryComponent().getExtents(pyatspi.WINDOW_COORDS)  # the client area
side = (geo['w'] - fw.width) // 2; top = geo['h'] - fw.height - side  # server-side decoration
x = geo['x'] + side + e.x + e.width // 2; y = geo['y'] + top + e.y + e.height // 2
log('window', geo, 'item', (e.x, e.y, e.width, e.height), '-> click', x, y)
subprocess.run([FI, 'abs', str(x), str(y), 'sleep', '150', 'button', '272'], check=True, capture_output=True)
time.sleep(0.3)
log('item states', sorted(states(screens[0])))
if remember:
    for c in nodes:
        if c.getRoleName() == 'check box' and 'restor' in (c.name or '').lower() and 'checked' not in states(c):
            action(c, 'Toggle'); time.sleep(0.1); log('check box', c.name, sorted(states(c)))
share = [n for n in nodes if n.getRoleName() == 'push button' and n.name == 'Share']
if not share: log('no Share'); sys.exit(4)
log('Share ->', action(share[0], 'Press'))
