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
echo PASS
