# Auto capture against a program that answers each click 150 ms late: the
# release's picture shows the answer, with the pointer of the release, and
# the rest after the click adds no second picture; Pause captures in auto
# mode too. Then a region as large as the screen, where the stand-in cannot
# stay outside it: no picture holds it, nor a frame line.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/recording-lib.sh"

app_pid=
trap '[ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null' EXIT

# jpeg_pixel FILE X Y: RRGGBB of one pixel of a picture.
jpeg_pixel() {
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 -format "%[hex:p{0,0}]" info:
}
# near RRGGBB RRGGBB: the colours differ by 24 at most in each channel (JPEG).
near() {
    $PY -c "
import sys
a, b = bytes.fromhex('$1'), bytes.fromhex('$2')
sys.exit(0 if all(abs(x - y) <= 24 for x, y in zip(a, b)) else 1)"
}
# picture N: the path of the working project's picture N (from 1).
picture() {
    $PY -c "
import sys, xml.etree.ElementTree as ET
objs = ET.parse(sys.argv[1]).getroot().findall('Obj')
print(objs[int(sys.argv[2]) - 1].findtext('ObjType/ObjPic/Content'))" "$work" "$1"
}

paint_desktop
start_program
new_recording auto

# The late program's window inside the region (x 641..1280, y 301..780).
"${QUILLORA_BIN_DIR:?}/late_repaint" 800 400 300 200 >"$E2E_TMP/late.log" 2>&1 &
app_pid=$!
end=$((SECONDS + 10))
until grep -q ready "$E2E_TMP/late.log"; do
    [ $SECONDS -le $end ] || fail "the late program did not start"
    sleep 0.1
done
sleep 0.3

# A click: one picture, taken once the window shows its answer (blue),
# with the pointer where the button went up; the rest that follows adds
# nothing, as the screen did not change since.
xdotool mousemove --sync 900 500 click 1
wait_objects 1
sleep 1.5
grep -q 'colour 1 2060D0' "$E2E_TMP/late.log" || fail "the late program did not repaint"
[ "$(objects)" = 1 ] || fail "a click and its rest gave $(objects) pictures, not one"
px=$(jpeg_pixel "$(picture 1)" $((900 - 641)) $((500 - 301)))
near "$px" 2060D0 || fail "the release picture shows $px, not the answer 2060D0"

# A second click where the pointer is: the next answer (red).
xdotool click 1
wait_objects 2
sleep 1.2
[ "$(objects)" = 2 ] || fail "a click without a move gave more than one picture"
px=$(jpeg_pixel "$(picture 2)" 20 20)
near "$px" 203050 || fail "picture 2 does not show the desktop at 20,20 ($px)"
px=$(jpeg_pixel "$(picture 2)" $((900 - 641)) $((500 - 301)))
near "$px" D04020 || fail "the second release picture shows $px, not the answer D04020"

# Pause captures in auto mode too, at once; the rest after it adds nothing.
pause_at 1000 450
wait_objects 3
sleep 1.2
[ "$(objects)" = 3 ] || fail "Pause and the rest after it gave $(objects) pictures, not three"
check_objects "$work" "260,200,0 260,200,24 360,150,48"
shot auto-settle
cp "$(picture 1)" "$E2E_ARTIFACTS/release-1.jpg"

kill "$app_pid"; wait "$app_pid" 2>/dev/null; app_pid=
stop_recording

# A region as large as the screen: every corner lies inside it.
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+n
# The last take is not saved: Don't Save.
box=$(wait_window 10 --name '^Confirm$') || fail "New did not ask about the unsaved take"
sleep 0.3
xdotool windowfocus --sync "$box"
xdotool key --clearmodifiers alt+n
dialog=$(wait_window 20 --name '^Quillora$') || fail "Ctrl+N showed no dialog"
sleep 0.3
xdotool windowfocus --sync "$dialog"
# Manual mode: a click on the stand-in, inside this region, captures nothing.
xdotool mousemove --window "$dialog" 230 137 click 1
xdotool mousemove --window "$dialog" 130 110 click --repeat 3 1
xdotool key --clearmodifiers ctrl+a
xdotool type 1920
xdotool mousemove --window "$dialog" 130 137 click --repeat 3 1
xdotool key --clearmodifiers ctrl+a
xdotool type 1080
xdotool key Tab
shot full-dialog
xdotool mousemove 300 200
xdotool key --clearmodifiers alt+s
wait_window 20 --name '^Quillora frame$' >/dev/null || fail "no frame on the screen"
sleep 0.5
standin=$(wait_window 10 --name '^Quillora recording$') || fail "no stand-in window"
shot full-recording
# The stand-in shows in the top right corner, inside the region.
near "$(import -window root -crop 1x1+1895+12 +repage -depth 8 -format "%[hex:p{0,0}]" info:)" C80000 ||
    fail "no stand-in in the top right corner"
for i in 1 2; do
    pause_at $((700 + 100 * i)) 500
    wait_objects "$i"
    sleep 0.3
    # Back on the screen after each capture.
    wait_window 5 --name '^Quillora recording$' >/dev/null || fail "the stand-in did not come back"
done
for i in 1 2; do
    jpg=$(picture "$i")
    [ "$(identify -format '%w %h' "$jpg")" = "1920 1080" ] || fail "picture $i is not 1920 x 1080"
    cp "$jpg" "$E2E_ARTIFACTS/full-$i.jpg"
    # The picture starts one pixel inside the frame lines at 0: screen
    # pixel (x, y) is picture pixel (x - 1, y - 1).
    for spot in 1888,0 1904,15 1918,30; do
        px=$(jpeg_pixel "$jpg" "${spot%,*}" "${spot#*,}")
        near "$px" 203050 || fail "picture $i holds the stand-in at $spot ($px)"
    done
    # No red frame line on the top and left edges.
    for spot in 0,500 500,0 960,0 0,1000; do
        px=$(jpeg_pixel "$jpg" "${spot%,*}" "${spot#*,}")
        near "$px" 203050 || fail "picture $i has a frame line at $spot ($px)"
    done
    # The yellow block where the desktop has it.
    px=$(jpeg_pixel "$jpg" 799 399)
    near "$px" FFCC00 || fail "picture $i does not show the desktop ($px)"
done
click_tray
answer_stop y
wait_window 20 --name '^Quillora' >/dev/null || fail "main window not back"
kill "$pid"; wait "$pid" 2>/dev/null
echo PASS
