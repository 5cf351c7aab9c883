# Fit a window on X11: a 400 x 300 window at (300, 250) whose frame
# extents say 10 left, 20 right, 30 top and 40 bottom; with "Fit a window"
# chosen, a real click on it (XTEST through xdotool) sets the region to its
# frame, 430 x 370 at (290, 220), and the window never sees that click.
# Pause captures: the picture is that rectangle as another tool grabs it and
# the movie has its size. The choice is remembered; Escape keeps the frame
# and lets the next click through. File > Exit ends with status 0.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/recording-lib.sh"

red() { [ "$(import -window root -crop "1x1+$1+$2" +repage -depth 8 -format "%[hex:p{0,0}]" info:)" = FF0000 ]; }
# clicks: the clicks the window has seen (it repaints after each).
clicks() { sleep 0.5; grep -c '^colour' "$E2E_TMP/late.log"; }

start_session_bus
paint_desktop
"${QUILLORA_BIN_DIR:?}/late_repaint" 300 250 400 300 >"$E2E_TMP/late.log" 2>&1 &
late=$!
trap 'kill "$bus_pid" "$late" 2>/dev/null' EXIT
end=$((SECONDS + 10))
until grep -q ready "$E2E_TMP/late.log"; do
    [ $SECONDS -le $end ] || fail "the test window did not come up"
    sleep 0.1
done
win=$(xdotool search --name '^late repaint$' | head -n1)
[ -n "$win" ] || fail "no test window"
# No window manager here sets them; the program must read them all the same.
xprop -id "$win" -f _NET_FRAME_EXTENTS 32c -set _NET_FRAME_EXTENTS 10,20,30,40
xprop -id "$win" _NET_FRAME_EXTENTS | grep -q '= 10, 20, 30, 40' || fail "cannot set the frame extents"

start_program
wait_bus_name 20 org.brindlecove.Quillora || fail "the program holds no name on the session bus"
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+n
dialog=$(wait_window 20 --name '^Quillora$') || fail "Ctrl+N showed no dialog"
sleep 0.3
xdotool windowfocus --sync "$dialog"
# Alt+W: "Fit a window", from the keyboard.
xdotool key --clearmodifiers alt+w
sleep 0.2
shot dialog
xdotool key --clearmodifiers alt+s
wait_window 20 --name '^Quillora frame$' >/dev/null || fail "no frame on the screen"
sleep 0.5
shot picking
red 640 500 || fail "the frame is not centred before the pick"
xdotool search --onlyvisible --name '^Quillora frame handle$' >/dev/null 2>&1 &&
    fail "handles are shown while a window is picked"
# The label beside the frame tells how to pick.
wait_window 10 --name '^Quillora region$' >/dev/null || fail "no label beside the frame"

xdotool mousemove --sync 500 400 click 1
sleep 0.6
shot fitted
[ "$(clicks)" = 0 ] || fail "the window saw the click that picked it"
# Lines one pixel outside the frame: x 289 and 720, y 219 and 590.
red 289 400 && red 720 400 && red 500 219 && red 500 590 ||
    { cat "$E2E_TMP/quillora.log" >&2; fail "the frame does not fit the window's frame"; }
red 640 500 && fail "the old frame stays"
wait_window 10 --onlyvisible --name '^Quillora frame handle$' >/dev/null ||
    fail "no handles after the pick"
import -window root -crop 430x370+290+220 +repage "$E2E_TMP/fitted.png"
pause_at 500 400
wait_objects 1
shot captured
[ "$(clicks)" = 0 ] || fail "the window saw a click"
stop_recording
save_as "$HOME/Documents/fit"
$PY - "$HOME/Documents/fit.qlv" "$HOME/Documents/fit.swf" "$E2E_TMP/fitted.png" <<'PY' || fail "wrong project"
import os, subprocess, sys, xml.etree.ElementTree as ET
from yaswfp import swfparser
root = ET.parse(sys.argv[1]).getroot()
assert (root.findtext("Width"), root.findtext("Height")) == ("430", "370"), "movie size"
objs = root.findall("Obj")
assert len(objs) == 1, f"{len(objs)} objects"
o = objs[0]
assert (o.findtext("MouseX"), o.findtext("MouseY")) == ("211", "181"), "pointer"
pic = o.find("ObjType/ObjPic")
assert (pic.findtext("Width"), pic.findtext("Height")) == ("430", "370"), "picture size"
jpg = os.path.join(os.path.dirname(sys.argv[1]), pic.findtext("Content"))
ident = subprocess.run(["identify", "-format", "%m %w %h", jpg], capture_output=True, text=True).stdout
assert ident == "JPEG 430 370", ident
out = subprocess.run(["compare", "-metric", "RMSE", jpg, sys.argv[3], "null:"],
                     capture_output=True, text=True).stderr
d = float(out.split("(")[1].split(")")[0])
assert d < 0.02, f"the picture is not the window's frame (RMSE {d})"
header = swfparser.parsefile(sys.argv[2]).header
xmin, xmax, ymin, ymax = header.FrameSize  # twips
assert (xmax - xmin, ymax - ymin) == (430 * 20, 370 * 20), f"swf frame {header.FrameSize}"
print("project and movie: 430 x 370, the picture equals the grab of the window's frame")
PY

# The next recording remembers the choice; Escape keeps the frame where it
# is (the dialog's 640 x 480 where the last one was left) and gives the
# pointer back.
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+n
dialog=$(wait_window 20 --name '^Quillora$') || fail "Ctrl+N showed no dialog"
sleep 0.3
xdotool windowfocus --sync "$dialog"
xdotool key --clearmodifiers alt+s
wait_window 20 --name '^Quillora frame$' >/dev/null || fail "no frame on the screen"
sleep 0.5
xdotool mousemove --sync 500 400
xdotool key Escape
sleep 0.5
red 289 400 && red 930 400 || { shot escaped; fail "Escape moved the frame"; }
wait_window 10 --onlyvisible --name '^Quillora frame handle$' >/dev/null ||
    fail "no handles after Escape"
xdotool click 1
[ "$(clicks)" = 1 ] || fail "after Escape the click did not reach the window"
red 289 400 || fail "a click after Escape picked a window"
stop_recording

xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+f
sleep 0.5
xdotool key --clearmodifiers x
# The unsaved second recording: Don't Save.
sleep 1
xdotool key --clearmodifiers alt+n
wait_exit 30 "$pid"
status=$?
[ $status -eq 0 ] || { cat "$E2E_TMP/quillora.log" >&2; fail "status $status"; }
grep -q 'AddressSanitizer\|runtime error' "$E2E_TMP/quillora.log" && { cat "$E2E_TMP/quillora.log" >&2; fail "sanitizer report"; }
echo PASS
