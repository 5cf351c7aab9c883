# Placing the region on X11 with real input (XTEST through xte): the frame
# is dragged by its border, resized by its bottom right corner and nudged
# with the arrow keys, then Pause captures: the picture is the new
# rectangle as another tool grabs it, the movie has its size, the handles
# are gone and take no click. The next recording starts where this one was
# left; a size larger than the screen is refused with the screen's size.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/recording-lib.sh"

# red X Y: the pixel at (X, Y) is the frame's red.
red() { [ "$(import -window root -crop "1x1+$1+$2" +repage -depth 8 -format "%[hex:p{0,0}]" info:)" = FF0000 ]; }
drag() { xte "mousemove $1 $2" 'mousedown 1' "mousemove $3 $4" "mousemove $5 $6" 'mouseup 1'; sleep 0.4; }

paint_desktop
start_program
new_recording manual
shot placing
red 640 500 && red 1281 500 || fail "the frame is not centred"
label=$(wait_window 10 --name '^Quillora region$') || fail "no label beside the frame"
# The label is above the frame, outside it.
eval "$(xdotool getwindowgeometry --shell "$label")"
[ $((Y + HEIGHT)) -le 293 ] || fail "the label reaches into the frame (y $Y, height $HEIGHT)"

# The top border (away from its middle handle) moves the frame by -100, -50.
drag 900 297 880 280 800 247
red 540 500 && red 1181 500 || { shot moved; fail "the border drag did not move the frame"; }
red 900 250 || fail "the top line is not at y 250"
# The bottom right corner handle (1181..1187, 731..737) grows it by 100 x 50.
drag 1184 734 1230 760 1284 784
red 1281 500 && red 900 781 || { shot resized; fail "the corner drag did not resize the frame"; }
red 540 500 || fail "the corner drag moved the left line"
# Arrow keys on the label: 2 right, Shift 10 down.
xdotool key Right Right shift+Down
sleep 0.4
red 542 500 && red 1283 500 && red 900 260 || { shot nudged; fail "the arrow keys did not move the frame"; }
shot placed
# Captured: x 543..1282, y 261..790, 740 x 530.
import -window root -crop 740x530+543+261 +repage "$E2E_TMP/moved.png"
pause_at 700 400
wait_objects 1
shot captured
xdotool search --onlyvisible --name '^Quillora frame handle$' >/dev/null 2>&1 && fail "handles stay after the first capture"
wait_gone 5 --name '^Quillora region$' || fail "the label stays after the first capture"
# Where the border band was, a press reaches the desktop now: no drag.
drag 900 257 880 240 800 207
red 542 500 || fail "the frame moved after the first capture"
stop_recording
save_as "$HOME/Documents/region"
$PY - "$HOME/Documents/region.qlv" "$E2E_TMP/moved.png" <<'PY' || fail "wrong project"
import os, subprocess, sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert (root.findtext("Width"), root.findtext("Height")) == ("740", "530"), "movie size"
objs = root.findall("Obj")
assert len(objs) == 1, f"{len(objs)} objects"
o = objs[0]
assert (o.findtext("MouseX"), o.findtext("MouseY")) == ("158", "140"), "pointer"
pic = o.find("ObjType/ObjPic")
assert (pic.findtext("Width"), pic.findtext("Height")) == ("740", "530"), "picture size"
jpg = os.path.join(os.path.dirname(sys.argv[1]), pic.findtext("Content"))
ident = subprocess.run(["identify", "-format", "%m %w %h", jpg], capture_output=True, text=True).stdout
assert ident == "JPEG 740 530", ident
out = subprocess.run(["compare", "-metric", "RMSE", jpg, sys.argv[2], "null:"],
                     capture_output=True, text=True).stderr
d = float(out.split("(")[1].split(")")[0])
assert d < 0.02, f"the picture is not the moved region (RMSE {d})"
for spot in ("0,265", "370,0", "739,265", "370,529"):
    px = subprocess.run(["convert", jpg, "-format", f"%[fx:int(255*p{{{spot}}}.r)],%[fx:int(255*p{{{spot}}}.g)],%[fx:int(255*p{{{spot}}}.b)]", "info:"],
                        capture_output=True, text=True).stdout
    r, g, b = map(int, px.split(","))
    assert not (r > 150 and g < 100 and b < 100), f"a frame line at {spot} ({px})"
print("project: 740 x 530, the picture equals the grab of the moved region")
PY

# The next recording starts where this one was left.
new_recording manual
red 542 500 && red 1183 500 && red 900 260 || { shot again; fail "the frame is not where it was left"; }
stop_recording

# 2000 wide on a 1920 x 1080 screen is refused, naming the screen's size.
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+n
# The recording just made is not saved: Don't Save.
sleep 1
xdotool key --clearmodifiers alt+n
dialog=$(wait_window 20 --name '^Quillora$') || fail "Ctrl+N showed no dialog"
sleep 0.3
xdotool mousemove --window "$dialog" 112 114 click 1
xdotool key ctrl+a
xdotool type 2000
xdotool key Tab
xdotool mousemove --window "$dialog" 228 281 click 1
sleep 1
shot refused
xdotool search --onlyvisible --name '^Quillora frame$' >/dev/null 2>&1 && fail "a recording started at 2000 wide"
box=$(xdotool search --onlyvisible --name '^Quillora$' | grep -vx "$dialog" | head -n1)
[ -n "$box" ] || fail "no message for a size larger than the screen"
xdotool windowfocus --sync "$box"
xdotool key Return
sleep 0.5
xdotool search --onlyvisible --name '^Quillora$' | grep -qx "$dialog" || fail "the dialog closed after the refusal"
kill "$pid"; wait "$pid" 2>/dev/null
echo PASS
