#!/bin/bash
# Recording on a headless GNOME Shell (mutter, PipeWire, xdg-desktop-portal
# with its GNOME back end, the AT-SPI bus; all started and stopped here by
# pid). Two recordings:
#  1. manual: the desktop's Screen Share dialog is passed over AT-SPI; the
#     offered capture key lands in GNOME's keyboard settings; three captures
#     by `quillora --capture` and the shortcut's command, the pointer moved
#     through mutter's RemoteDesktop before each; stop from the stand-in; Save.
#  2. auto, with the kept consent (no dialog): a rest inside the frame
#     captures, a rest outside does not.
# The pictures are checked against mutter's own screen cast read by
# GStreamer, the mouse positions against where the pointer was sent, the
# movie's arrow against those. File > Exit ends with status 0.
# Skips (77) when the GNOME packages are missing.
set -u
. "$(dirname "$0")/gnome-lib.sh"

start=$SECONDS
env_lines=$("$session" start --dir "$tmp/session" 2>"$tmp/session.log") ||
    { cat "$tmp/session.log" >&2; fail "the GNOME session did not start"; }
eval "$env_lines"
echo "GNOME session up in $((SECONDS - start)) s"
unset DISPLAY
# The session's home: its dconf service writes the settings read there.
export HOME="$DESKTOP_TEST_SESSION/home" XDG_CONFIG_HOME="$DESKTOP_TEST_SESSION/home/.config" \
    XDG_DATA_HOME="$DESKTOP_TEST_SESSION/home/.local/share"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_WAYLAND_DISABLE_WINDOWDECORATION=1
mkdir -p "$HOME/Documents"
shots="$HOME/Documents/Quillora/screenshots"
work="$shots/Untitled.qlv"

objects() {
    $PY - "$work" <<'PY'
import sys, xml.etree.ElementTree as ET
try:
    print(len(ET.parse(sys.argv[1]).getroot().findall("Obj")))
except Exception:
    print(-1)
PY
}
objects_are() { [ "$(objects)" = "$1" ]; }
positions() {
    $PY -c 'import sys, xml.etree.ElementTree as ET
print([(o.findtext("MouseX"), o.findtext("MouseY")) for o in ET.parse(sys.argv[1]).getroot().findall("Obj")])' "$work" 2>&1
}
# red_in FILE GEOMETRY: how many of the frame's red pixels lie there.
red_in() {
    convert "$1" -alpha off -crop "$2" +repage -fuzz 8% -fill white -opaque '#ff0000' -fill black +opaque white \
        -format '%[fx:int(mean*w*h+0.5)]' info:
}

# The picture the region shows: a maximised window whose content changes
# on SIGUSR1. The region: 640 x 480 in the middle of 1280 x 720, its pixels
# at 321..960 x 121..600, the frame lines one pixel outside.
$PY "$desk/scene.py" "Test scene" >"$tmp/scene.log" 2>&1 &
scene=$!
sleep 1.5
"${QUILLORA_BIN_DIR:?}/quillora" >"$tmp/quillora.log" 2>&1 &
pid=$!
wait_for 60 has_window 'Quillora 1.0' || fail "no main window"
sleep 0.5

# 1. Manual recording; the desktop asks which monitor to share.
input key ctrl+n
wait_for 20 has_window 'Quillora' || fail "Ctrl+N showed no dialog"
sleep 0.3
grab "$artifacts/dialog.png"
# The dialog says that clicks are not seen here, and that a key is offered.
atspi text quillora 'Quillora' >"$tmp/dialog.txt"
grep -q "captures on clicks need an X11 session" "$tmp/dialog.txt" || fail "the dialog says nothing of clicks"
grep -q "The first recording offers to add a key" "$tmp/dialog.txt" || fail "the dialog offers no key"
atspi press quillora 'Quillora' 'Start' || fail "no Start in the dialog"
$PY "$desk/atspi_share.py" --timeout 30 >"$tmp/share1.log" 2>&1 ||
    { cat "$tmp/share1.log" >&2; fail "no Screen Share dialog passed"; }
grep -q "Share actions" "$tmp/share1.log" || fail "the Screen Share dialog was not answered"
wait_for 20 has_window 'Quillora frame' || fail "no frame on the screen"
wait_for 10 no_window 'Quillora 1.0 - Untitled*' || fail "main window still shown while recording"
# No global shortcuts on GNOME 43: the command is named, and a shortcut
# that runs it offered for GNOME's keyboard settings; Yes adds it.
wait_for 10 atspi press quillora 'Capture key' 'Yes' || fail "no offer of a capture key"
media=org.gnome.settings-daemon.plugins.media-keys
custom=/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/
wait_for 5 sh -c "gsettings get $media custom-keybindings | grep -qF \"['$custom']\"" ||
    fail "no custom shortcut in GNOME's settings: $(gsettings get $media custom-keybindings)"
setting() { gsettings get "$media.custom-keybinding:$custom" "$1"; }
[ "$(setting binding)" = "'Pause'" ] || fail "the shortcut's key is $(setting binding)"
[ "$(setting name)" = "'Quillora capture'" ] || fail "the shortcut's name is $(setting name)"
eval "key_command=$(setting command)"
[ "$key_command" = "$QUILLORA_BIN_DIR/quillora --capture" ] || fail "the shortcut runs '$key_command'"
sleep 1.5
grab "$tmp/recording.png"
cp "$tmp/recording.png" "$artifacts/recording.png"
# The frame lies exactly around the region although the Shell keeps
# windows below its top bar, and nothing red is inside the region (no
# frame line, no stand-in).
for spot in "320 360" "961 360" "640 120" "640 601" "320 120" "961 601"; do
    # shellcheck disable=SC2086
    [ "$(pixel "$tmp/recording.png" $spot)" = FF0000 ] || fail "no frame line at $spot"
done
# Beside the lines, away from the handles (corners and middles) shown
# until the first capture.
for spot in "600 119" "640 121" "640 152" "319 330" "321 360"; do
    # shellcheck disable=SC2086
    [ "$(pixel "$tmp/recording.png" $spot)" != FF0000 ] || fail "a red line at $spot, off the frame"
done
[ "$(red_in "$tmp/recording.png" 640x480+321+121)" = 0 ] || fail "red pixels inside the region"
# The stand-in (no tray here): its red button is in the top right corner of
# the screen below the top bar, outside the region.
[ "$(red_in "$tmp/recording.png" 32x32+1248+32)" -gt 100 ] || fail "no stand-in in the top right corner"

points=("500,300" "900,150" "340,580")
for i in 1 2 3; do
    kill -USR1 "$scene"
    input move "${points[$((i - 1))]}"
    sleep 1 # the stream's next frame, even on a busy machine
    grab "$tmp/screen$i.png"
    convert "$tmp/screen$i.png" -alpha off -crop 640x480+321+121 +repage "$tmp/reference$i.png"
    if [ "$i" = 2 ]; then
        # What GNOME runs on the shortcut's key.
        sh -c "$key_command" || fail "the shortcut's command failed"
    else
        "$QUILLORA_BIN_DIR/quillora" --capture || fail "quillora --capture failed"
    fi
    wait_for 10 objects_are "$i" || fail "expected $i objects, the working file has $(objects)"
done

# Stop from the stand-in: the click reaches it through the frame's window.
input move 1264,48 click
wait_for 10 has_window 'Confirm' || fail "a click on the stand-in asked nothing"
atspi press quillora 'Confirm' 'Yes' || fail "no Yes in the question"
wait_for 20 has_window 'Quillora 1.0 - Untitled*' || fail "main window not back"
wait_for 10 no_window 'Quillora frame' || fail "frame still on the screen"

input key ctrl+s
wait_for 20 has_window 'Save As' || fail "no save dialog"
sleep 0.5
input type "$HOME/Documents/gnome"
grab "$artifacts/save.png"
input key Return
wait_for 30 test -s "$HOME/Documents/gnome.swf" ||
    fail "Save wrote no gnome.swf: $(find "$HOME" /tmp /root -maxdepth 4 -newer "$tmp/recording.png" -name 'gnome*' 2>/dev/null)"
sleep 0.5

# The project: each picture is the screen's pixels, each mouse position
# where the pointer was, measured from the frame lines (320, 120).
$PY - "$HOME/Documents/gnome.qlv" "$tmp" "${points[@]}" <<'PY' || fail "wrong project"
import os, subprocess, sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
here = os.path.dirname(os.path.abspath(sys.argv[1]))
objs = root.findall("Obj")
assert len(objs) == 3, f"{len(objs)} objects"
want = [tuple(str(int(v) - o) for v, o in zip(p.split(","), (320, 120))) for p in sys.argv[3:]]
got = [(o.findtext("MouseX"), o.findtext("MouseY")) for o in objs]
assert got == want, f"mouse positions {got}, expected {want}"
def rmse(a, b):
    out = subprocess.run(["compare", "-metric", "RMSE", a, b, "null:"],
                         capture_output=True, text=True).stderr
    return float(out.split("(")[1].split(")")[0])
for i, o in enumerate(objs, 1):
    jpg = os.path.join(here, o.findtext("ObjType/ObjPic/Content"))
    ident = subprocess.run(["identify", "-format", "%m %w %h", jpg], capture_output=True, text=True).stdout
    assert ident == "JPEG 640 480", f"{jpg}: {ident}"
    for j in (1, 2, 3):
        d = rmse(jpg, f"{sys.argv[2]}/reference{j}.png")
        assert (d < 0.02) if i == j else (d > 0.05), f"picture {i} against grab {j}: RMSE {d}"
print("project: 3 pictures equal to mutter's grabs, mouse positions", got)
PY

# The movie: the pictures in order and the arrow at each recorded position.
$PY - "$HOME/Documents/gnome.swf" "$HOME/Documents/gnome.qlv" <<'PY' || fail "wrong movie"
import sys, xml.etree.ElementTree as ET
from yaswfp import swfparser
swf = swfparser.parsefile(sys.argv[1])
names = [t.name for t in swf.tags]
pics = [t for t in swf.tags if t.name.startswith("DefineBits")]
assert len(pics) == 3, "not three pictures"
spots = set()
for t in swf.tags:
    m = getattr(t, "Matrix", None)
    if t.name == "PlaceObject2" and m is not None and getattr(m, "TranslateX", None) is not None:
        spots.add((m.TranslateX, m.TranslateY))
objs = ET.parse(sys.argv[2]).getroot().findall("Obj")
for o in objs:
    at = (int(o.findtext("MouseX")) * 20, int(o.findtext("MouseY")) * 20)
    assert at in spots, f"the arrow never rests at {at} (twips); placed at {sorted(spots)[:12]}..."
print(f"movie: {names.count('ShowFrame')} frames, the arrow at the three positions")
PY

# 2. Auto capture with the kept consent: no dialog this time. The pointer
# starts outside the region.
input move 1150,660 key ctrl+n
wait_for 20 has_window 'Quillora' || fail "Ctrl+N showed no second dialog"
atspi text quillora 'Quillora' | grep -qF '1. Press Pause or run "quillora --capture".' ||
    fail "the second dialog does not name the key: $(atspi text quillora 'Quillora')"
atspi check quillora 'Quillora' 'Auto Capture' || fail "no Auto Capture in the dialog"
atspi press quillora 'Quillora' 'Start' || fail "no Start in the dialog"
wait_for 20 has_window 'Quillora frame' || fail "the second recording did not start"
$PY "$desk/atspi_share.py" --timeout 2 >"$tmp/share2.log" 2>&1 && fail "the second recording asked again"
sleep 1.5
kill -USR1 "$scene"
input move 420,220 sleep 2
wait_for 10 objects_are 1 || fail "a rest inside the frame captured nothing ($(positions))"
kill -USR1 "$scene"
input move 1150,660 sleep 2
kill -USR1 "$scene"
input move 1150,680 sleep 2
objects_are 1 || fail "a rest outside the frame captured ($(objects) objects)"
input move 800,520 sleep 2
wait_for 10 objects_are 2 || fail "the second rest inside captured nothing ($(objects))"
$PY - "$work" <<'PY' || fail "wrong auto positions"
import sys, xml.etree.ElementTree as ET
got = [(o.findtext("MouseX"), o.findtext("MouseY")) for o in ET.parse(sys.argv[1]).getroot().findall("Obj")]
assert got == [("100", "100"), ("480", "400")], f"auto capture positions {got}"
print("auto: two rests inside captured at", got)
PY
input move 1264,48 click
wait_for 10 has_window 'Confirm' || fail "a click on the stand-in asked nothing"
atspi press quillora 'Confirm' 'Yes' || fail "no Yes in the question"
wait_for 20 has_window 'Quillora 1.0 - Untitled*' || fail "main window not back"
objects_are 2 || fail "the stop added a picture ($(objects))"

# Quit as a user does: File > Exit, and Don't Save for the second recording.
input key alt+f key x
wait_for 10 atspi press quillora 'Confirm' "Don't Save" || fail "no question about the unsaved recording"
exited_with_0
echo "the test took $((SECONDS - start)) s"
echo PASS
