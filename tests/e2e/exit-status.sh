# With a session bus, as on every desktop, each way of ending the program
# ends it with status 0: File > Exit, the window's close box (Alt+F4 in a
# window manager) and SIGTERM, also in the middle of a recording, whose
# captures are all in the working project afterwards.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/recording-lib.sh"

start_session_bus
bin=${QUILLORA_BIN_DIR:?}

# started NAME: the program is up, its window shown and its bus name held.
started() {
    "$bin/quillora" >"$E2E_TMP/$1.log" 2>&1 &
    pid=$!
    main=$(wait_window 60 --name '^Quillora 1\.0$') || { cat "$E2E_TMP/$1.log" >&2; fail "$1: no main window"; }
    wait_bus_name 20 org.brindlecove.Quillora || fail "$1: the program holds no name on the session bus"
    sleep 0.5
}

# ended NAME: the program ended by itself with status 0.
ended() {
    wait_exit 30 "$pid"
    local status=$?
    [ $status -eq 0 ] || { cat "$E2E_TMP/$1.log" >&2; fail "$1: status $status"; }
    grep -q 'AddressSanitizer\|runtime error' "$E2E_TMP/$1.log" && { cat "$E2E_TMP/$1.log" >&2; fail "$1: sanitizer report"; }
    wait_gone 10 --name '^Quillora' || fail "$1: a window stays"
    echo "$1: status 0"
}

# SIGTERM in a recording: the capture whose picture is on its way to the
# disk is in the working project when the program has ended.
paint_desktop
start_program
mv "$E2E_TMP/quillora.log" "$E2E_TMP/term-recording.log"
wait_bus_name 20 org.brindlecove.Quillora || fail "the program holds no name on the session bus"
new_recording manual
pause_at 700 400
wait_objects 1
pictures=$(ls "$shots"/*.jpg | wc -l)
xdotool mousemove --sync 900 500
xdotool key Pause
end=$((SECONDS + 10))
until [ "$(ls "$shots"/*.jpg | wc -l)" -gt "$pictures" ]; do
    [ $SECONDS -le $end ] || fail "the second capture wrote no picture"
    sleep 0.01
done
kill -TERM "$pid"
ended term-recording
[ "$(objects)" = 2 ] || fail "the working project holds $(objects) objects after SIGTERM, not 2"
check_jpegs "$work"

# That recording was not saved: the next start offers it back. Discard
# keeps a copy in the working folder's trash.
started exit
answer_recovery alt+d
ls -d "$shots"/Trash/*/ >/dev/null 2>&1 || fail "Discard kept no copy in the trash"
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+f
sleep 0.5
xdotool key --clearmodifiers x
ended exit

started term
kill -TERM "$pid"
ended term
grep -q 'LastOpenDir=' "$XDG_CONFIG_HOME/Brindlecove/Quillora.conf" || fail "SIGTERM wrote no settings"

# The close box, through a window manager as on a desktop.
openbox --sm-disable >"$E2E_TMP/openbox.log" 2>&1 &
wm_pid=$!
trap 'kill "$bus_pid" "$wm_pid" 2>/dev/null' EXIT
end=$((SECONDS + 20))
until wmctrl -m >/dev/null 2>&1; do
    [ $SECONDS -le $end ] || fail "the window manager did not start"
    sleep 0.1
done
started close
xdotool windowactivate --sync "$main"
shot close-box
xdotool key --clearmodifiers alt+F4
ended close
echo PASS
