# Auto recording with no tray (the stand-in window stops it): a rest and a
# click inside the frame capture, a rest outside and on the frame line do not.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/recording-lib.sh"

paint_desktop
start_program
new_recording auto
xdotool search --onlyvisible --name '^Quillora recording$' >/dev/null ||
    fail "no stand-in window without a tray"
shot recording
xdotool mousemove --sync 300 200          # outside the frame
sleep 1.2
[ "$(objects)" = 0 ] || fail "a rest outside the frame captured"
xdotool mousemove --sync 640 500          # on the left frame line
sleep 1.2
[ "$(objects)" = 0 ] || fail "a rest on the frame line captured"
xdotool mousemove --sync 700 400          # rest inside: one capture
wait_objects 1
sleep 1.2
[ "$(objects)" = 1 ] || fail "a longer rest captured again"
xdotool mousemove --sync 1000 700 click 1 # release capture; the rest after it
wait_objects 2                            # sees the same pixels and adds none
sleep 1.2
xdotool mousemove --sync 640 700 click 1  # a click on the frame line
sleep 0.3
xdotool mousemove --sync 1002 702         # 2 pixels from the last rest point
sleep 1.2
[ "$(objects)" = 2 ] || fail "a rest over unchanged pixels, a click on the line or a rest within 3 pixels captured"
stop_recording
save_as "$HOME/Documents/auto"
check_objects "$HOME/Documents/auto.qlv" "60,100,0 360,400,24"
check_jpegs "$HOME/Documents/auto.qlv"
check_swf "$HOME/Documents/auto.swf" 48
kill "$pid"; wait "$pid" 2>/dev/null
echo PASS
