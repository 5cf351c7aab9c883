# The program starts with its main window, Ctrl+N brings up the
# new-recording dialog, Cancel closes it, a second start hands over to the
# first and ends, and Exit ends the program and records the last folder and
# the window's place.
. "$(dirname "$0")/lib.sh"

start_session_bus

bin=${QUILLORA_BIN_DIR:?}
"$bin/quillora" >"$E2E_TMP/quillora.log" 2>&1 &
pid=$!

main=$(wait_window 60 --name '^Quillora 1\.0$') || { cat "$E2E_TMP/quillora.log" >&2; fail "no main window"; }
sleep 0.5
shot main-window
geometry=$(xdotool getwindowgeometry "$main")
echo "$geometry"
echo "$geometry" | grep -q 'Geometry: 1024x720' || fail "main window is not 1024 x 720: $geometry"
[ -d "$HOME/Documents/Quillora/screenshots" ] || fail "no screenshots folder"

xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+n
dialog=$(wait_window 20 --name '^Quillora$') || fail "Ctrl+N showed no dialog"
sleep 0.5
shot new-dialog
xdotool getwindowgeometry "$dialog" | grep -q 'Geometry: 403x332' || fail "dialog is not 403 x 332 (with its row of presets)"

xdotool windowfocus --sync "$dialog"
xdotool key --clearmodifiers alt+c
wait_gone 20 --name '^Quillora$' || fail "Cancel did not close the dialog"

# F1 hands the help page to the desktop's "open".
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers F1
end=$((SECONDS + 20))
until grep -q 'help\.html' "$E2E_OPEN_LOG" || [ $SECONDS -gt $end ]; do sleep 0.1; done
grep -q "file://$bin/help\.html" "$E2E_OPEN_LOG" || fail "F1 did not open the help page: $(cat "$E2E_OPEN_LOG")"

# The about box, from the Help menu.
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+h
sleep 0.3
xdotool key --clearmodifiers a
about=$(wait_window 20 --name '^About Quillora$') || fail "no about box"
sleep 0.5
shot about-box
xdotool windowfocus --sync "$about"
xdotool key --clearmodifiers Return
wait_gone 20 --name '^About Quillora$' || fail "OK did not close the about box"

# A second copy brings the first one's window up and ends, without a
# window of its own.
wait_bus_name 20 org.brindlecove.Quillora || fail "the program holds no name on the session bus"
"$bin/quillora" >"$E2E_TMP/second.log" 2>&1 &
second=$!
wait_exit 30 "$second"
status=$?
[ $status -eq 0 ] || { cat "$E2E_TMP/second.log" >&2; fail "the second copy ended with status $status"; }
[ "$(xdotool search --onlyvisible --name '^Quillora' | wc -l)" = 1 ] || fail "the second copy left a window"
kill -0 "$pid" 2>/dev/null || fail "the first copy ended too"

xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+f
sleep 0.5
shot file-menu
xdotool key --clearmodifiers x
wait_exit 30 "$pid"
status=$?
[ $status -eq 0 ] || { cat "$E2E_TMP/quillora.log" >&2; fail "program ended with status $status"; }
grep -q "LastOpenDir=$HOME/Documents/" "$XDG_CONFIG_HOME/Brindlecove/Quillora.conf" || fail "LastOpenDir is not the documents folder"
grep -q '^Geometry=' "$XDG_CONFIG_HOME/Brindlecove/Quillora.conf" || fail "the window's place was not written"
echo "PASS"
