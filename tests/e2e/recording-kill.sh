# A recording killed with SIGKILL leaves a working project that parses and
# holds every capture taken, each with its picture.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/recording-lib.sh"

paint_desktop
start_program
new_recording manual
for i in 1 2 3 4; do
    pause_at $((650 + 100 * i)) 400
    wait_objects $i
done
pause_at 800 500
kill -KILL "$pid"
wait "$pid" 2>/dev/null
n=$(objects)
[ "$n" = 4 ] || [ "$n" = 5 ] || fail "the working project holds $n objects after the kill"
check_jpegs "$work"

# The next start offers the recording back; Recover opens it unsaved with
# every picture that was complete on disk, the last one too when the kill
# came before the project took it.
# A picture the kill cut short (no end marker yet) is not one of them.
jpegs=$($PY -c "
import glob, sys
print(sum(open(p, 'rb').read()[-2:] == b'\\xff\\xd9' for p in glob.glob(sys.argv[1] + '/*.jpg')))" "$shots")
start_program
answer_recovery alt+r
wait_window 20 --name '^Quillora 1\.0 - Untitled\*$' >/dev/null || { shot recovered; fail "Recover opened no unsaved project"; }
[ "$(objects)" = "$jpegs" ] || fail "the recovered project holds $(objects) objects for $jpegs pictures"
check_jpegs "$work"
shot recovered
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+f
sleep 0.5
xdotool key --clearmodifiers x
box=$(wait_window 20 --name '^Confirm$') || fail "Exit did not ask about the recovered project"
xdotool windowfocus --sync "$box"
xdotool key --clearmodifiers alt+n
wait_exit 30 "$pid" || fail "Exit after Don't Save ended with status $?"
echo PASS
