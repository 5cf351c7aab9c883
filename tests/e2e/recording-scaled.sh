# With Qt scaling its windows by 2 the frame still lies on the right
# physical pixels and a capture still holds exactly 640 x 480 of them.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/recording-lib.sh"

export QT_SCALE_FACTOR=2
paint_desktop
start_program
new_recording manual
geometries=$(for w in $(xdotool search --onlyvisible --name '^Quillora frame$'); do
    xdotool getwindowgeometry "$w" | tr -d '\n' | sed -E 's/.*Position: ([0-9-]+,[0-9-]+).*Geometry: ([0-9]+x[0-9]+).*/\1 \2/'
    echo
done | sort)
expected=$(printf '%s\n' "640,300 1x482" "640,300 642x1" "640,781 642x1" "1281,300 1x482" | sort)
[ "$geometries" = "$expected" ] || fail "frame windows at $(echo $geometries), expected $(echo $expected)"
pause_at 700 400
wait_objects 1
kill -KILL "$pid"
wait "$pid" 2>/dev/null
check_objects "$work" "60,100,0"
check_jpegs "$work"
echo PASS
