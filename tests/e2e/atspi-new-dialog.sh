# The new-recording dialog as a screen reader finds it on the desktop's
# accessibility bus: Width and Height are spin buttons with their labels,
# value and bounds, and a size typed into a field reads back clamped once
# the focus leaves it. Skips (77) without the accessibility bus or pyatspi.
. "$(dirname "$0")/lib.sh"

launcher=/usr/libexec/at-spi-bus-launcher
if ! command -v dbus-run-session >/dev/null || [ ! -x "$launcher" ] ||
    ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
    echo "SKIP: needs dbus-run-session, at-spi2-core and python3-pyatspi"
    exit 77
fi
# A session bus of its own, so the accessibility bus is this test's too.
if [ -z "${E2E_SESSION_BUS:-}" ]; then
    E2E_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi

"$launcher" --launch-immediately >"$E2E_TMP/at-spi.log" 2>&1 &
launcher_pid=$!
pid=
stop() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    kill "$launcher_pid" 2>/dev/null
    wait "$launcher_pid" 2>/dev/null
}
trap stop EXIT

export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
bin=${QUILLORA_BIN_DIR:?}
"$bin/quillora" >"$E2E_TMP/quillora.log" 2>&1 &
pid=$!

main=$(wait_window 60 --name '^Quillora 1\.0$') || { cat "$E2E_TMP/quillora.log" >&2; fail "no main window"; }
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+n
dialog=$(wait_window 20 --name '^Quillora$') || fail "Ctrl+N showed no dialog"
check=$(dirname "$0")/atspi_dialog.py
/usr/bin/python3 "$check" Quillora Quillora || { cat "$E2E_TMP/at-spi.log" >&2; fail "as a screen reader sees it"; }
shot new-dialog

# Typed past the maximum, the field reads 2000 once the focus moves on:
# what the bus reports follows the field.
xdotool windowfocus --sync "$dialog"
/usr/bin/python3 - <<'PY' || fail "typing into the width field"
import subprocess, sys, time
import pyatspi
app = next(a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "Quillora")
dialog = next(w for w in app if w.name == "Quillora")
def spin(name):
    stack = [dialog]
    while stack:
        node = stack.pop()
        if node.getRole() == pyatspi.ROLE_SPIN_BUTTON and node.name == name:
            return node
        stack.extend(c for c in node if c is not None)
width = spin("Width")
if not width.queryComponent().grabFocus():
    sys.exit("the width field did not take the focus")
subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+a"], check=True)
subprocess.run(["xdotool", "type", "5000"], check=True)
def wait(value):
    end = time.monotonic() + 10
    while width.queryValue().currentValue != value and time.monotonic() < end:
        time.sleep(0.1)
    return width.queryValue().currentValue
if wait(5000) != 5000:
    sys.exit("typed 5000, the bus reads %g" % width.queryValue().currentValue)
subprocess.run(["xdotool", "key", "--clearmodifiers", "Tab"], check=True)
if wait(2000) != 2000:
    sys.exit("after Tab the bus reads %g, not 2000" % width.queryValue().currentValue)
print("Width after typing 5000 and Tab:", width.queryValue().currentValue)
PY
shot new-dialog-clamped

xdotool key --clearmodifiers alt+c
wait_gone 20 --name '^Quillora$' || fail "Cancel did not close the dialog"
echo "PASS"
