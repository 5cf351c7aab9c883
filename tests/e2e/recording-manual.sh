# Manual recording with a real tray host: New, Start, three Pause presses
# with the pointer at known places, two tray clicks answered No, one more
# Pause, stop from the tray with Yes, Save under a
# typed name; the project, its pictures and the movie are checked.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/recording-lib.sh"

paint_desktop
if command -v trayer >/dev/null; then
    trayer --edge top --align right --widthtype pixel --width 48 --heighttype pixel \
        --height 32 --SetDockType false >"$E2E_TMP/trayer.log" 2>&1 &
    tray_pid=$!
    wait_window 10 --class trayer >/dev/null || fail "trayer did not start"
fi
start_program
new_recording manual
shot recording
pause_at 700 400
wait_objects 1
pause_at 1000 700
wait_objects 2
pause_at 100 100     # outside the frame: Pause captures wherever the pointer is
wait_objects 3
# Clicks capture nothing in manual mode.
xdotool mousemove 900 600 click 1
sleep 0.7
[ "$(objects)" = 3 ] || fail "a click captured in manual mode"
# Two quick clicks on the tray ask once; No changes nothing.
click_tray
click_tray
answer_stop n
sleep 0.3
xdotool search --onlyvisible --name '^Quillora frame$' >/dev/null || fail "No removed the frame"
pause_at 1000 700
wait_objects 4
stop_recording
shot stopped
[ -n "${tray_pid:-}" ] && kill "$tray_pid" 2>/dev/null
save_as "$HOME/Documents/manual"
check_objects "$HOME/Documents/manual.qlv" "60,100,0 360,400,24 -540,-200,48 360,400,72"
check_jpegs "$HOME/Documents/manual.qlv"
check_swf "$HOME/Documents/manual.swf" 96
# After the stop Pause captures nothing.
pause_at 700 400
sleep 0.7
[ "$(objects)" = 4 ] || fail "Pause still captures after the stop"
kill "$pid"; wait "$pid" 2>/dev/null
echo PASS
