#!/bin/bash
# Placing the region on a headless Wayland desktop (sway, PipeWire and the
# wlroots screen-cast portal, started and stopped here), with sway's own
# pointer: the frame is dragged by its border, resized by its bottom right
# corner and nudged with the arrow keys on its label, then
# `quillora --capture` takes the new rectangle as grim grabs it; after it
# the border lets clicks through. `quillora --pause` pauses: a capture adds
# nothing, the frame moves again (keeping its size), and after the resume
# a capture takes the moved rectangle. The movie has the new size. Skips
# (77) when the Wayland packages are missing.
WAYLAND_E2E_TOOLS=mkfifo
vp=
# The virtual pointer goes with its input.
cleanup_more() { [ -n "$vp" ] && exec 3>&- && wait "$vp" 2>/dev/null; }
. "$(dirname "$0")/wayland-lib.sh"

# The headless desktop has no pointer of its own: a virtual one (a small
# client beside the session's script) moves as told on its input.
cc -O2 -o "$tmp/vpointer" "$here/wayland/vpointer.c" -lwayland-client || fail "cannot compile vpointer.c"
mkfifo "$tmp/pointer"
"$tmp/vpointer" 1920 1080 <"$tmp/pointer" &
vp=$!
exec 3>"$tmp/pointer"
cursor() { echo "$*" >&3; sleep 0.1; }
drag() {
    cursor move "$1" "$2"; sleep 0.1
    cursor down
    cursor move "$3" "$4"
    cursor move "$5" "$6"
    cursor up; sleep 0.4
}
red() { [ "$(pixel "$1" "$2")" = FF0000 ]; }
shot() { grim "$artifacts/$1.png" 2>/dev/null; }
rest_objects() { sleep 2; objects_are "$1"; }

# A desktop with detail everywhere, so a picture of the wrong rectangle
# cannot pass for the right one.
convert -size 1920x1080 gradient:'#203050-#d0a040' \
    -fill '#00aa66' -draw 'rectangle 600,260 700,340' \
    -fill '#3366ff' -draw 'circle 1000,600 1080,640' \
    -fill white -draw 'rectangle 1250,770 1282,790' \
    -fill black -draw 'rectangle 543,261 548,266' \
    "$tmp/session/desktop.png" || fail "cannot make the desktop picture"
chmod 644 "$tmp/session/desktop.png"
swaymsg output HEADLESS-1 bg "$tmp/session/desktop.png" fill >/dev/null
wait_for 10 pixel_is 1260 780 FFFFFF || fail "desktop picture not shown"
cursor move 100 1000

# A sanitized build checks for leaks at exit, after Qt unloaded its Wayland
# plugin: the checker could not name that plugin in a report, and so not
# match it against the suppressions. Kept loaded, the status is the program's.
preload=
if ldd "${QUILLORA_BIN_DIR:?}/quillora" | grep -q libasan; then
    echo 'int dlclose(void* handle) { (void)handle; return 0; }' >"$tmp/keep.c"
    cc -shared -fPIC -o "$tmp/keep.so" "$tmp/keep.c" || fail "cannot compile the plugin keeper"
    preload="$(gcc -print-file-name=libasan.so):$tmp/keep.so"
fi
LD_PRELOAD=$preload "$QUILLORA_BIN_DIR/quillora" >"$tmp/quillora.log" 2>&1 &
pid=$!
wait_for 60 has_window 'Quillora 1.0' || fail "no main window"
sleep 0.5
key -M ctrl n -m ctrl
wait_for 20 has_window 'Quillora' || fail "Ctrl+N showed no dialog"
sleep 0.3
key -M alt s -m alt
wait_for 20 has_window 'Quillora frame' || fail "no frame on the screen"
wait_for 10 no_window 'Quillora 1.0' || fail "main window still shown while recording"
sleep 0.5
key -k Return # the box naming the capture command
sleep 0.5
shot placing
red 640 500 && red 1281 500 || fail "the frame is not centred ($(pixel 640 500))"

# The top border (away from its middle handle) moves the frame by -100, -50.
drag 900 297 880 280 800 247
red 540 500 && red 1181 500 && red 900 250 || { shot moved; fail "the border drag did not move the frame ($(pixel 540 500))"; }
# The bottom right corner handle (1181..1187, 731..737) grows it by 100 x 50.
drag 1184 734 1230 760 1284 784
red 1281 500 && red 900 781 || { shot resized; fail "the corner drag did not resize the frame"; }
red 540 500 || fail "the corner drag moved the left line"
# A click on the label (above the frame's top left corner) gives it the
# keyboard; the arrow keys: 2 right, Shift 10 down.
cursor move 560 238; sleep 0.2
cursor down; cursor up; sleep 0.3
key -k Right
key -k Right
key -M shift -k Down -m shift
sleep 0.3
red 542 500 && red 1283 500 && red 900 260 || { shot nudged; fail "the arrow keys did not move the frame"; }
shot placed
# The label and handles lie outside the region: 543..1282, 261..790.
grim -g "543,261 740x530" "$tmp/reference1.png"
cursor move 100 1000; sleep 0.3
"$QUILLORA_BIN_DIR/quillora" --capture || fail "quillora --capture failed"
wait_for 10 objects_are 1 || fail "expected 1 object, the working file has $(objects)"
sleep 0.5
shot captured
# Where the border band was, a press reaches the desktop now: no drag.
# Sway before 1.10 drags a floating window by any press its input region
# lets through (sway issue 6935), so there the press would move the whole
# frame window and tell nothing about Quillora.
sway_version=$(sway --version | sed -n 's/^sway version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
if [ -n "$sway_version" ] && [ "$(printf '%d%03d' $sway_version)" -ge 1010 ]; then
    drag 900 257 880 240 800 207
    red 542 500 && red 900 260 || { shot after; fail "the frame moved after the first capture"; }
else
    echo "sway $sway_version: the press through the frame is not tried"
fi

# Paused: no capture, and the frame moves again with its size kept.
"$QUILLORA_BIN_DIR/quillora" --pause || fail "quillora --pause failed"
sleep 0.5
"$QUILLORA_BIN_DIR/quillora" --capture
rest_objects 1 || fail "a capture while paused added a picture ($(objects))"
shot paused
drag 900 257 920 257 940 237 # +40, -20
# Dashed now: red where the dash is (every other 4 pixels along a line).
red 582 496 && red 904 240 || { shot paused-moved; fail "the paused frame did not move ($(pixel 582 496))"; }
# A corner moves it too, without resizing: 40 x 20 more.
drag 1326 774 1346 784 1366 794
"$QUILLORA_BIN_DIR/quillora" --pause || fail "quillora --pause (resume) failed"
sleep 0.5
shot resumed-placed
red 622 500 && red 1363 500 || fail "the paused corner drag did not move the frame"
red 900 260 && red 900 791 || fail "the paused corner drag changed the frame's size"
grim -g "623,261 740x530" "$tmp/reference2.png"
"$QUILLORA_BIN_DIR/quillora" --capture || fail "quillora --capture failed after the resume"
wait_for 10 objects_are 2 || fail "expected 2 objects after the resume, the working file has $(objects)"
shot resumed

# Stop from the stand-in window (no tray on this desktop), answer Yes.
swaymsg '[title="^Quillora recording$"] focus' >/dev/null || fail "no stand-in window"
sleep 0.3
key -k space
wait_for 10 has_window 'Confirm' || fail "no \"Stop recording?\" question"
sleep 0.3
key -M alt y -m alt
wait_for 20 has_window 'Quillora 1.0 - Untitled[*]' || fail "main window not back"
wait_for 10 no_window 'Quillora frame' || fail "frame still on the screen"

key -M ctrl s -m ctrl
wait_for 20 has_window 'Save As' || fail "no save dialog"
sleep 0.5
key "$HOME/Documents/region"
key -k Return
wait_for 30 test -s "$HOME/Documents/region.swf" || fail "Save wrote no region.swf"
sleep 0.5

$PY - "$HOME/Documents/region.qlv" "$tmp" <<'PY' || fail "wrong project"
import os, subprocess, sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
here = os.path.dirname(os.path.abspath(sys.argv[1]))
assert (root.findtext("Width"), root.findtext("Height")) == ("740", "530"), "movie size"
objs = root.findall("Obj")
assert len(objs) == 2, f"{len(objs)} objects"
def rmse(a, b):
    out = subprocess.run(["compare", "-metric", "RMSE", a, b, "null:"],
                         capture_output=True, text=True).stderr
    return float(out.split("(")[1].split(")")[0])
for i, o in enumerate(objs, 1):
    jpg = os.path.join(here, o.findtext("ObjType/ObjPic/Content"))
    ident = subprocess.run(["identify", "-format", "%m %w %h", jpg], capture_output=True, text=True).stdout
    assert ident == "JPEG 740 530", f"{jpg}: {ident}"
    for j in (1, 2):
        d = rmse(jpg, f"{sys.argv[2]}/reference{j}.png")
        assert (d < 0.02) if i == j else (d > 0.03), f"picture {i} against grab {j}: RMSE {d}"
    # No red line, no handle, no label's yellow along the edges.
    for spot in ("0,265", "370,0", "739,265", "370,529", "0,0", "739,529"):
        px = subprocess.run(["convert", jpg, "-format",
                             f"%[fx:int(255*p{{{spot}}}.r)],%[fx:int(255*p{{{spot}}}.g)],%[fx:int(255*p{{{spot}}}.b)]",
                             "info:"], capture_output=True, text=True).stdout
        r, g, b = map(int, px.split(","))
        assert not (r > 150 and g < 100 and b < 100), f"picture {i}: a frame pixel at {spot} ({px})"
        assert not (r > 230 and g > 230 and b > 180 and spot != "739,529"), f"picture {i}: the label at {spot} ({px})"
print("project: 740 x 530, each picture equals grim's grab of its rectangle")
PY

$PY - "$HOME/Documents/region.swf" <<'PY' || fail "wrong movie"
from yaswfp import swfparser
swf = swfparser.parsefile(__import__("sys").argv[1])
xmin, xmax, ymin, ymax = swf.header.FrameSize # twips
got = ((xmax - xmin) // 20, (ymax - ymin) // 20)
assert got == (740, 530), f"movie frame {got}"
pics = [t for t in swf.tags if t.name.startswith("DefineBits")]
assert len(pics) == 2, f"{len(pics)} pictures"
print("movie: 740 x 530, two pictures")
PY

key -M alt f -m alt
key x
exited_with_0
echo PASS
