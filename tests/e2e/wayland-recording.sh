#!/bin/bash
# Manual recording on a headless Wayland desktop (sway, PipeWire and the
# wlroots screen-cast portal, started and stopped here): New, Start, three
# captures by `quillora --capture` with a different picture on the screen
# each time, stop from the stand-in window (in a corner, outside the
# region), Save, File > Exit. The pictures are checked
# against grim's grabs of the region, the project and movie against what
# was shown. Skips (77) when the Wayland packages are missing.
. "$(dirname "$0")/wayland-lib.sh"

# Three desktop pictures: the same markers on the region's corners (x
# 641..1280, y 301..780 for 640 x 480 on 1920 x 1080), a coloured block
# that moves, and a green line just outside the region.
for i in 1 2 3; do
    x=$((600 + i * 150))
    convert -size 1920x1080 xc:'#203050' \
        -fill '#ffcc00' -draw "rectangle $x,350 $((x + 200)),500" \
        -fill '#cc3300' -draw "circle $((x + 100)),650 $((x + 160)),700" \
        -fill white -draw 'rectangle 641,301 644,304' -draw 'rectangle 1277,777 1280,780' \
        -fill '#00ff00' -draw 'rectangle 639,290 639,790' \
        "$tmp/session/desktop$i.png" || fail "cannot make the desktop pictures"
    chmod 644 "$tmp/session/desktop$i.png"
done
show_desktop() {
    swaymsg output HEADLESS-1 bg "$tmp/session/desktop$1.png" fill >/dev/null
    local x=$((600 + $1 * 150 + 100))
    wait_for 10 pixel_is "$x" 400 FFCC00 || fail "desktop picture $1 not shown"
}

show_desktop 1
"${QUILLORA_BIN_DIR:?}/quillora" >"$tmp/quillora.log" 2>&1 &
pid=$!
wait_for 60 has_window 'Quillora 1.0' || fail "no main window"
sleep 0.5
key -M ctrl n -m ctrl
wait_for 20 has_window 'Quillora' || fail "Ctrl+N showed no dialog"
sleep 0.3
grim "$artifacts/dialog.png"
key -M alt s -m alt
wait_for 20 has_window 'Quillora frame' || fail "no frame on the screen"
wait_for 10 no_window 'Quillora 1.0' || fail "main window still shown while recording"
# No global keys on this desktop: said once, in a box naming the command.
sleep 0.5
grim "$artifacts/recording.png"
key -k Return
sleep 0.3
# The red frame lines lie just outside the region.
[ "$(pixel 640 500)" = FF0000 ] || fail "no red frame line at x 640 ($(pixel 640 500))"
[ "$(pixel 1281 500)" = FF0000 ] || fail "no red frame line at x 1281"
# The stand-in (no tray here) is in the screen's top right corner, outside
# the region, and nowhere else: its dark square is 32 x 32 at 1888,0.
[ "$(pixel 1888 0)" = 282828 ] || fail "no stand-in in the top right corner ($(pixel 1888 0))"
[ "$(pixel 1919 31)" = 282828 ] || fail "the stand-in is not 32 x 32 at the corner"
dark=$(grim -g "641,301 640x480" - | convert - -fill black +opaque '#282828' -fill white -opaque '#282828' \
    -format '%[fx:int(mean*w*h+0.5)]' info:)
[ "$dark" = 0 ] || fail "$dark pixels of the stand-in inside the region"

for i in 1 2 3; do
    show_desktop "$i"
    sleep 1 # the stream's next frame, even on a busy machine
    grim -g "641,301 640x480" "$tmp/reference$i.png"
    "$QUILLORA_BIN_DIR/quillora" --capture || fail "quillora --capture failed"
    wait_for 10 objects_are "$i" || fail "expected $i objects, the working file has $(objects)"
done

# Stop from the stand-in window (no tray on this desktop), answer Yes.
swaymsg '[title="^Quillora recording$"] focus' >/dev/null || fail "no stand-in window"
sleep 0.3
key -k space
wait_for 10 has_window 'Confirm' || fail "no \"Stop recording?\" question"
sleep 0.3
key -M alt y -m alt
wait_for 20 has_window 'Quillora 1.0 - Untitled[*]' || fail "main window not back"
wait_for 10 no_window 'Quillora frame' || fail "frame still on the screen"
"$QUILLORA_BIN_DIR/quillora" --capture 2>/dev/null && fail "--capture still captures after the stop"

key -M ctrl s -m ctrl
wait_for 20 has_window 'Save As' || fail "no save dialog"
sleep 0.5
key "$HOME/Documents/wayland"
key -k Return
wait_for 30 test -s "$HOME/Documents/wayland.swf" || fail "Save wrote no wayland.swf"
sleep 0.5

# The project: three pictures, the arrow resting in the region's middle.
$PY - "$HOME/Documents/wayland.qlv" "$tmp" <<'PY' || fail "wrong project"
import os, subprocess, sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
here = os.path.dirname(os.path.abspath(sys.argv[1]))
objs = root.findall("Obj")
got = [(o.findtext("MouseX"), o.findtext("MouseY"), o.findtext("StartTime")) for o in objs]
want = [("320", "240", "0"), ("320", "240", "24"), ("320", "240", "48")]
assert got == want, f"objects {got}, expected {want}"
def rmse(a, b):
    out = subprocess.run(["compare", "-metric", "RMSE", a, b, "null:"],
                         capture_output=True, text=True).stderr
    return float(out.split("(")[1].split(")")[0])
for i, o in enumerate(objs, 1):
    # saved projects name their pictures from the project's own folder
    jpg = os.path.join(here, o.findtext("ObjType/ObjPic/Content"))
    assert o.findtext("ObjType/ObjPic/Width") == "640", "width"
    ident = subprocess.run(["identify", "-format", "%m %w %h", jpg], capture_output=True, text=True).stdout
    assert ident == "JPEG 640 480", f"{jpg}: {ident}"
    for j in (1, 2, 3):
        d = rmse(jpg, f"{sys.argv[2]}/reference{j}.png")
        # Its own grab within JPEG noise, the other two plainly different.
        assert (d < 0.02) if i == j else (d > 0.05), f"picture {i} against grab {j}: RMSE {d}"
    for spot in ("0,240", "320,0", "639,240", "320,479"):
        px = subprocess.run(["convert", jpg, "-format",
                             f"%[fx:int(255*p{{{spot}}}.r)],%[fx:int(255*p{{{spot}}}.g)]", "info:"],
                            capture_output=True, text=True).stdout
        r, g = map(int, px.split(","))
        assert r < 120 and g < 120, f"picture {i}: a frame line at its edge {spot} ({px})"
    # No solid block of the stand-in's dark grey (40, 40, 40) in the picture;
    # the erosion drops the JPEG's ringing along the edges of the shapes.
    dark = subprocess.run(["convert", jpg, "-fuzz", "6%", "-fill", "black", "+opaque", "#282828",
                           "-fill", "white", "-opaque", "#282828", "-morphology", "Erode",
                           "Square:4", "-format", "%[fx:int(mean*w*h+0.5)]", "info:"],
                          capture_output=True, text=True).stdout
    assert int(dark) == 0, f"picture {i}: {dark} pixels of the stand-in"
print("project: 3 pictures equal to grim's grabs, no stand-in in them")
PY

# The movie: the three pictures, each shown 24 frames, in order.
$PY - "$HOME/Documents/wayland.swf" "$tmp" <<'PY' || fail "wrong movie"
import subprocess, sys
from yaswfp import swfparser
swf = swfparser.parsefile(sys.argv[1])
names = [t.name for t in swf.tags]
frames = names.count("ShowFrame")
pics = [t for t in swf.tags if t.name.startswith("DefineBits")]
print(f"swf: {len(names)} tags, {frames} frames, {len(pics)} pictures")
assert frames >= 72, "too few frames"
assert len(pics) == 3, "not three pictures"
for i, tag in enumerate(pics, 1):
    data = getattr(tag, "ImageData", None) or getattr(tag, "JPEGData", None)
    assert data, f"picture {i}: no JPEG data in {tag.name}"
    path = f"{sys.argv[2]}/movie{i}.jpg"
    with open(path, "wb") as f:
        f.write(data if data.startswith(b"\xff\xd8") else b"\xff\xd8" + data)
    out = subprocess.run(["compare", "-metric", "RMSE", path, f"{sys.argv[2]}/reference{i}.png",
                          "null:"], capture_output=True, text=True).stderr
    d = float(out.split("(")[1].split(")")[0])
    assert d < 0.02, f"movie picture {i} differs from what was shown (RMSE {d})"
print("movie: the three pictures in order")
PY

# Quit as a user does: File > Exit; the project is saved, so nothing is asked.
key -M alt f -m alt
key x
exited_with_0
echo PASS
