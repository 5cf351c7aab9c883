#!/usr/bin/python3
"""Looks at the program's new-recording dialog through the desktop's
accessibility bus, as a screen reader does: the size fields must be spin
buttons with their names, value and bounds, and every control a user can
reach must have a name.

    atspi_dialog.py APP_NAME DIALOG_NAME [WIDTH_AFTER]

Exit status 0 when all holds, 1 with the reasons otherwise."""
import sys
import time

import pyatspi

problems = []


def find_app(name, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name.lower() == name.lower():
                return app
        time.sleep(0.2)
    return None


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for child in node:
        yield from walk(child, depth + 1)


def find_dialog(app, name, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        for window in app:
            if window is not None and window.name == name and \
                    window.getState().contains(pyatspi.STATE_SHOWING):
                return window
        time.sleep(0.2)
    return None


def describe(node):
    return "%s %r" % (node.getRoleName(), node.name)


def main():
    app_name, dialog_name = sys.argv[1], sys.argv[2]
    app = find_app(app_name, 20)
    if app is None:
        names = [a.name for a in pyatspi.Registry.getDesktop(0) if a is not None]
        print("FAIL: %s is not on the accessibility bus; there: %s" % (app_name, names))
        return 1
    dialog = find_dialog(app, dialog_name, 20)
    if dialog is None:
        print("FAIL: no dialog %r; windows: %s" % (dialog_name, [describe(w) for w in app]))
        return 1
    print("dialog:", describe(dialog))

    spins = {}
    for node in walk(dialog):
        role = node.getRole()
        states = node.getState()
        if role == pyatspi.ROLE_SPIN_BUTTON:
            spins[node.name] = node
        if not states.contains(pyatspi.STATE_SHOWING):
            continue
        if states.contains(pyatspi.STATE_FOCUSABLE) and not node.name.strip():
            problems.append("%s can take the focus but has no name" % describe(node))
        # A text field of its own beside the spin buttons would be the old
        # field with two buttons.
        if role == pyatspi.ROLE_TEXT and node.parent.getRole() != pyatspi.ROLE_SPIN_BUTTON:
            problems.append("%s is a text field outside a spin button" % describe(node))

    for name, label, value in (("Width", "Width:", 640), ("Height", "Height:", 480)):
        spin = spins.get(name)
        if spin is None:
            problems.append("no spin button named %s; spin buttons: %s" % (name, list(spins)))
            continue
        v = spin.queryValue()
        print("%s: value %g, minimum %g, maximum %g, step %g" %
              (name, v.currentValue, v.minimumValue, v.maximumValue, v.minimumIncrement))
        if (v.currentValue, v.minimumValue, v.maximumValue) != (value, 100, 2000):
            problems.append("%s reads %g in %g..%g, expected %d in 100..2000" %
                            (name, v.currentValue, v.minimumValue, v.maximumValue, value))
        labels = [t.name for r in spin.getRelationSet()
                  if r.getRelationType() == pyatspi.RELATION_LABELLED_BY
                  for t in (r.getTarget(i) for i in range(r.getNTargets()))]
        if label not in labels:
            problems.append("%s is not labelled by %r (labelled by %s)" % (name, label, labels))
        if not spin.getState().contains(pyatspi.STATE_FOCUSABLE):
            problems.append("%s cannot take the focus" % name)

    for p in problems:
        print("FAIL:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
