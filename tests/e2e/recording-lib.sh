# Helpers shared by the recording end-to-end scripts (sourced after lib.sh).
#
# The screen is 1920 x 1080, so a 640 x 480 recording has its frame lines at
# x 640 and 1281, y 300 and 781, and captures x 641..1280, y 301..780.

shots="$HOME/Documents/Quillora/screenshots"
work="$shots/Untitled.qlv"
PY=/usr/bin/python3   # Debian's, which has yaswfp

# A known picture on the root window: dark blue, a yellow block, a red disc,
# white 4 x 4 markers on the captured region's corners, and a green line
# just outside it (x 639) that must never show in a capture.
paint_desktop() {
    convert -size 1920x1080 xc:'#203050' \
        -fill '#ffcc00' -draw 'rectangle 700,350 900,500' \
        -fill '#cc3300' -draw 'circle 1000,600 1100,650' \
        -fill white -draw 'rectangle 641,301 644,304' -draw 'rectangle 1277,777 1280,780' \
        -fill '#00ff00' -draw 'rectangle 639,290 639,790' \
        "$E2E_TMP/desktop.png" || fail "cannot make the desktop picture"
    # display ends with status 1 even when the picture is set.
    display -window root "$E2E_TMP/desktop.png" 2>/dev/null
    [ "$(import -window root -crop 1x1+700+350 +repage -depth 8 -format "%[hex:p{0,0}]" info:)" = FFCC00 ] ||
        fail "cannot set the root picture"
    # The region as another tool grabs it, before any window of ours is up.
    import -window root -crop 640x480+641+301 +repage "$E2E_TMP/reference.png"
}

start_program() {
    "${QUILLORA_BIN_DIR:?}/quillora" >"$E2E_TMP/quillora.log" 2>&1 &
    pid=$!
    main=$(wait_window 60 --name '^Quillora 1\.0$') || { cat "$E2E_TMP/quillora.log" >&2; fail "no main window"; }
    sleep 0.5
}

# new_recording manual|auto: Ctrl+N, the mode, Start; waits for the frame.
new_recording() {
    xdotool windowfocus --sync "$main"
    xdotool key --clearmodifiers ctrl+n
    dialog=$(wait_window 20 --name '^Quillora$') || fail "Ctrl+N showed no dialog"
    sleep 0.3
    if [ "$1" = auto ]; then
        xdotool mousemove --window "$dialog" 230 119 click 1
        sleep 0.2
        # Out of the frame, or the pointer resting there captures at once.
        xdotool mousemove 300 200
    fi
    xdotool windowfocus --sync "$dialog"
    xdotool key --clearmodifiers alt+s
    wait_window 20 --name '^Quillora frame$' >/dev/null || fail "no frame on the screen"
    wait_gone 10 --name '^Quillora 1\.0' || fail "main window still shown while recording"
    sleep 0.3
}

# objects: the number of "Obj" items in the working project file on disk.
objects() {
    $PY - "$work" <<'PY'
import sys, xml.etree.ElementTree as ET
try:
    print(len(ET.parse(sys.argv[1]).getroot().findall("Obj")))
except Exception:
    print(-1)
PY
}

# wait_objects N: until the working file holds N objects (10 s at most).
wait_objects() {
    local end=$((SECONDS + 10))
    while [ "$(objects)" != "$1" ]; do
        [ $SECONDS -le $end ] || fail "expected $1 objects, the working file has $(objects)"
        sleep 0.1
    done
}

# pause_at X Y: the pointer to (X, Y), then Pause.
pause_at() {
    xdotool mousemove --sync "$1" "$2"
    xdotool key Pause
}

# click_tray: clicks the tray icon (trayer's, or the stand-in window).
click_tray() {
    local standin
    standin=$(xdotool search --onlyvisible --name '^Quillora recording$' 2>/dev/null | head -n1)
    if [ -n "$standin" ]; then
        xdotool mousemove --window "$standin" 16 16 click 1
        return
    fi
    # The icon: our own small window, embedded in the tray host.
    local w icon=
    for w in $(xdotool search --onlyvisible --classname quillora 2>/dev/null); do
        if xdotool getwindowgeometry "$w" | grep -Eq 'Geometry: [1-6]?[0-9]x[1-6]?[0-9]$'; then
            icon=$w
        fi
    done
    [ -n "$icon" ] || fail "neither a tray icon nor its stand-in"
    xdotool mousemove --window "$icon" 8 8 click 1
}

# answer_stop y|n: answers "Stop recording?".
answer_stop() {
    local box
    box=$(wait_window 10 --name '^Confirm$') || fail "no \"Stop recording?\" question"
    sleep 0.3
    [ "$(xdotool search --onlyvisible --name '^Confirm$' | wc -l)" = 1 ] || fail "asked more than once"
    shot "stop-question-$1"
    xdotool windowfocus --sync "$box"
    xdotool key --clearmodifiers "alt+$1"
    wait_gone 10 --name '^Confirm$' || fail "the question stays"
}

# stop_recording: the tray icon and Yes; the main window comes back.
stop_recording() {
    click_tray
    answer_stop y
    wait_window 20 --name '^Quillora' >/dev/null || fail "main window not back"
    wait_gone 10 --name '^Quillora frame$' || fail "frame still on the screen"
}

# save_as NAME: Ctrl+S and NAME typed into the file dialog.
save_as() {
    main=$(wait_window 20 --name '^Quillora') || fail "no main window"
    xdotool windowfocus --sync "$main"
    xdotool key --clearmodifiers ctrl+s
    local dlg
    dlg=$(wait_window 20 --name 'Save') || fail "no save dialog"
    sleep 0.5
    xdotool windowfocus --sync "$dlg"
    xdotool type --delay 20 "$1"
    xdotool key Return
    local end=$((SECONDS + 30))
    until [ -s "$1.qlv" ] && [ -s "$1.swf" ]; do
        [ $SECONDS -le $end ] || fail "Save wrote no $1.qlv and $1.swf"
        sleep 0.2
    done
    sleep 0.5
}

# check_objects FILE "MX,MY,ST ..." : the project's objects, in order.
check_objects() {
    $PY - "$1" "$2" <<'PY' || fail "wrong objects in $1"
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
got = [f'{o.findtext("MouseX")},{o.findtext("MouseY")},{o.findtext("StartTime")}'
       for o in root.findall("Obj")]
want = sys.argv[2].split()
if got != want:
    sys.exit(f"objects {got}, expected {want}")
for o in root.findall("Obj"):
    pic = o.find("ObjType/ObjPic")
    assert o.findtext("ObjTypeName") == "Pic", "not a picture"
    assert pic.findtext("Width") == "640" and pic.findtext("Height") == "480", "size"
PY
}

# check_jpegs FILE: every picture of the project decodes to exactly the
# region's pixels, as another tool grabs them, and shows no frame line.
check_jpegs() {
    local jpg n=0
    for jpg in $($PY -c "
import os, sys, xml.etree.ElementTree as ET
for o in ET.parse(sys.argv[1]).getroot().findall('Obj'):
    # A saved project names its pictures from its own folder.
    print(os.path.join(os.path.dirname(os.path.abspath(sys.argv[1])), o.findtext('ObjType/ObjPic/Content')))" "$1"); do
        n=$((n + 1))
        [ -s "$jpg" ] || fail "missing picture $jpg"
        basename "$jpg" | grep -Eq '^(0|[1-9][0-9]{0,7})\.jpg$' || fail "bad picture name $jpg"
        [ "$(identify -format '%m %w %h' "$jpg")" = "JPEG 640 480" ] || fail "$jpg is not a 640 x 480 JPEG"
        identify -verbose "$jpg" | grep -q 'Quality: 90' || fail "$jpg is not quality 90"
        identify -verbose "$jpg" | grep -q 'Interlace: None' || fail "$jpg is progressive"
        local rmse
        rmse=$(compare -metric RMSE "$jpg" "$E2E_TMP/reference.png" null: 2>&1 | sed -E 's/.*\((.*)\).*/\1/')
        $PY -c "import sys; sys.exit(0 if float('$rmse') < 0.02 else 1)" ||
            fail "$jpg differs from the screen region (RMSE $rmse)"
        # White corner markers inside, no red frame line or green line on the edges.
        for spot in 1,1 638,478; do
            local px
            px=$(convert "$jpg" -format "%[fx:int(255*p{$spot}.r)],%[fx:int(255*p{$spot}.g)],%[fx:int(255*p{$spot}.b)]" info:)
            $PY -c "import sys; r,g,b=map(int,'$px'.split(',')); sys.exit(0 if min(r,g,b) > 180 else 1)" ||
                fail "$jpg: no white marker at $spot ($px)"
        done
        for spot in 0,240 320,0 639,240 320,479; do
            local px
            px=$(convert "$jpg" -format "%[fx:int(255*p{$spot}.r)],%[fx:int(255*p{$spot}.g)],%[fx:int(255*p{$spot}.b)]" info:)
            $PY -c "import sys; r,g,b=map(int,'$px'.split(',')); sys.exit(0 if r < 120 and g < 120 else 1)" ||
                fail "$jpg: a frame line at its edge $spot ($px)"
        done
    done
    [ $n -gt 0 ] || fail "no pictures in $1"
}

# check_swf FILE FRAMES: parses with yaswfp; FRAMES shown frames at least.
check_swf() {
    $PY - "$1" "$2" <<'PY' || fail "$1 does not parse"
import sys
from yaswfp import swfparser
swf = swfparser.parsefile(sys.argv[1])
names = [t.name for t in swf.tags]
frames = names.count("ShowFrame")
jpegs = sum(n.startswith("DefineBits") for n in names)
print(f"swf: {len(names)} tags, {frames} frames, {jpegs} pictures")
assert frames >= int(sys.argv[2]), "too few frames"
assert jpegs >= 1, "no pictures"
assert names.count("PlaceObject2") >= 1, "nothing placed"
PY
}

# answer_recovery KEY: the start offers the recording a dead run left; the
# box (the smaller of the two windows titled as the program) gets KEY, and
# $main is set to the main window.
answer_recovery() {
    local end=$((SECONDS + 30)) ids id w box=
    while [ $SECONDS -le $end ]; do
        ids=$(xdotool search --onlyvisible --name '^Quillora 1\.0$' 2>/dev/null)
        if [ "$(echo "$ids" | grep -c .)" -ge 2 ]; then
            for id in $ids; do
                w=$(xdotool getwindowgeometry "$id" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
                if [ "$w" -lt 800 ]; then box=$id; else main=$id; fi
            done
            break
        fi
        sleep 0.1
    done
    [ -n "$box" ] || { shot no-recovery-offer; fail "the start offered no recovery"; }
    sleep 0.3
    xdotool windowfocus --sync "$box"
    xdotool key --clearmodifiers "$1"
    end=$((SECONDS + 10))
    while xdotool search --onlyvisible --name '^Quillora 1\.0$' 2>/dev/null | grep -qx "$box"; do
        [ $SECONDS -le $end ] || fail "the recovery offer did not close on $1"
        sleep 0.1
    done
    sleep 0.5
}
