#!/bin/bash
# A recording on a headless GNOME Shell whose monitor is scaled to 200 %
# (2560 x 1440 pixels, 1280 x 720 logical): the frame lies around the region
# in the monitor's pixels, below the top bar or not; the picture is those
# pixels, as mutter's own screen cast has them; the mouse position is in
# the same pixels. Quit with File > Exit: status 0. Skips (77) when the GNOME
# packages are missing.
set -u
. "$(dirname "$0")/gnome-lib.sh"

start=$SECONDS
env_lines=$("$session" start --dir "$tmp/session" --size 2560x1440 2>"$tmp/session.log") ||
    { cat "$tmp/session.log" >&2; fail "the GNOME session did not start"; }
eval "$env_lines"
# 200 %, through mutter's display configuration, as GNOME's Settings does.
$PY - <<'PY' || fail "the monitor cannot be scaled"
import dbus
dc = dbus.Interface(dbus.SessionBus().get_object('org.gnome.Mutter.DisplayConfig', '/org/gnome/Mutter/DisplayConfig'),
                    'org.gnome.Mutter.DisplayConfig')
serial, monitors, logical, props = dc.GetCurrentState()
connector = monitors[0][0][0]
mode = [m for m in monitors[0][1] if m[6].get('is-current')][0]
assert 2.0 in [float(s) for s in mode[5]], "no 200 % for this mode"
dc.ApplyMonitorsConfig(serial, 1, [(0, 0, 2.0, dbus.UInt32(0), True, [(connector, mode[0], {})])], {})
assert float(dc.GetCurrentState()[2][0][2]) == 2.0
PY
unset DISPLAY
export HOME="$DESKTOP_TEST_SESSION/home" XDG_CONFIG_HOME="$DESKTOP_TEST_SESSION/home/.config" \
    XDG_DATA_HOME="$DESKTOP_TEST_SESSION/home/.local/share"
# Qt's window decorations leave a leak report at exit on GNOME (their plugin is unloaded first).
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_WAYLAND_DISABLE_WINDOWDECORATION=1
mkdir -p "$HOME/Documents"
work="$HOME/Documents/Quillora/screenshots/Untitled.qlv"

$PY "$desk/scene.py" "Test scene" >"$tmp/scene.log" 2>&1 &
scene=$!
sleep 1.5
"${QUILLORA_BIN_DIR:?}/quillora" >"$tmp/quillora.log" 2>&1 &
pid=$!
wait_for 60 has_window 'Quillora 1.0' || fail "no main window"
sleep 0.5
input key ctrl+n
wait_for 20 has_window 'Quillora' || fail "Ctrl+N showed no dialog"
atspi press quillora 'Quillora' 'Start' || fail "no Start in the dialog"
$PY "$desk/atspi_share.py" --timeout 30 >"$tmp/share.log" 2>&1 || fail "no Screen Share dialog passed"
wait_for 20 has_window 'Quillora frame' || fail "no frame on the screen"
wait_for 10 atspi press quillora 'Capture key' 'No' || fail "no offer of a capture key"
sleep 1.5
# 640 x 480 pixels in the middle of 2560 x 1440: lines at 960..1601, 480..961.
input move 1200,700
sleep 1
grab "$tmp/screen.png"
convert "$tmp/screen.png" -resize 50% "$artifacts/recording.png"
for spot in "960 700" "1601 700" "1200 480" "1200 961"; do
    # shellcheck disable=SC2086
    [ "$(pixel "$tmp/screen.png" $spot)" = FF0000 ] || fail "no frame line at $spot"
done
for spot in "959 700" "961 700" "1200 481" "1200 544"; do
    # shellcheck disable=SC2086
    [ "$(pixel "$tmp/screen.png" $spot)" != FF0000 ] || fail "a red line at $spot, off the frame"
done
convert "$tmp/screen.png" -alpha off -crop 640x480+961+481 +repage "$tmp/reference.png"
"$QUILLORA_BIN_DIR/quillora" --capture || fail "quillora --capture failed"
wait_for 10 test -s "$work" || fail "no working file"
wait_for 10 sh -c "grep -q '<Obj>' '$work'" || fail "no capture in the working file"
sleep 0.5
$PY - "$work" "$tmp/reference.png" <<'PY' || fail "wrong capture"
import os, subprocess, sys, xml.etree.ElementTree as ET
objs = ET.parse(sys.argv[1]).getroot().findall("Obj")
assert len(objs) == 1, f"{len(objs)} objects"
o = objs[0]
got = (o.findtext("MouseX"), o.findtext("MouseY"))
assert got == ("240", "220"), f"mouse position {got}, expected the pointer at 1200,700 from the lines 960,480"
jpg = os.path.join(os.path.dirname(sys.argv[1]), o.findtext("ObjType/ObjPic/Content"))
ident = subprocess.run(["identify", "-format", "%w %h", jpg], capture_output=True, text=True).stdout
assert ident == "640 480", ident
out = subprocess.run(["compare", "-metric", "RMSE", jpg, sys.argv[2], "null:"], capture_output=True, text=True).stderr
d = float(out.split("(")[1].split(")")[0])
assert d < 0.02, f"the picture differs from mutter's grab (RMSE {d})"
print("200 %: a picture of the monitor's pixels, mouse", got)
PY
# The stand-in: 64 x 64 pixels in the top right corner below the top bar
# (64 pixels high at 200 %), outside the region; a click there stops.
[ "$(convert "$tmp/screen.png" -alpha off -crop 64x64+2496+64 +repage -fuzz 8% -fill white \
    -opaque '#ff0000' -fill black +opaque white -format '%[fx:int(mean*w*h+0.5)]' info:)" -gt 400 ] ||
    fail "no stand-in in the top right corner"
input move 2528,96 click
wait_for 10 has_window 'Confirm' || fail "a click on the stand-in asked nothing"
atspi press quillora 'Confirm' 'Yes' || fail "no Yes in the question"
wait_for 20 has_window 'Quillora 1.0 - Untitled*' || fail "main window not back"
input key alt+f key x
wait_for 10 atspi press quillora 'Confirm' "Don't Save" || fail "no question about the unsaved recording"
exited_with_0
echo "the test took $((SECONDS - start)) s"
echo PASS
