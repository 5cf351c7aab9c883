# Pause and resume an auto recording on X11, with a tray host and a session
# bus: the tray icon's menu (right click, then P), Shift+Pause and `quillora
# --pause`. While paused the frame is dashed and no Pause press, click or
# rest makes a picture; resumed, each captures again.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/recording-lib.sh"

# line_pixels: the colours of the top frame line's first 8 pixels.
line_pixels() { import -window root -crop 8x1+641+300 +repage -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | sort -u | tr '\n' ' '; }
dashed() { line_pixels | grep -q FFFFFF && line_pixels | grep -q FF0000; }
solid() { [ "$(line_pixels)" = "#FF0000 " ]; }
tray_icon() {
    local w
    for w in $(xdotool search --onlyvisible --classname quillora 2>/dev/null); do
        if xdotool getwindowgeometry "$w" | grep -Eq 'Geometry: [1-6]?[0-9]x[1-6]?[0-9]$'; then
            echo "$w"
        fi
    done | tail -n1
}
still() { sleep "$2"; [ "$(objects)" = "$1" ] || fail "$3 (the working file has $(objects) objects)"; }

start_session_bus
paint_desktop
trayer --edge top --align right --widthtype pixel --width 48 --heighttype pixel \
    --height 32 --SetDockType false >"$E2E_TMP/trayer.log" 2>&1 &
tray_pid=$!
trap 'kill "$tray_pid" "$bus_pid" 2>/dev/null' EXIT
wait_window 10 --class trayer >/dev/null || fail "trayer did not start"
start_program
new_recording auto
xdotool mousemove --sync 700 400
wait_objects 1
sleep 0.4 # past the capture's flash
solid || fail "the frame is not solid red while recording ($(line_pixels))"

# The tray icon's menu: Pause.
icon=$(tray_icon)
[ -n "$icon" ] || fail "no tray icon"
xdotool mousemove --window "$icon" 8 8 click 3
menu=$(wait_window 5 --classname quillora --name '^Quillora recording$') || true
sleep 0.5
shot menu
xdotool key p
sleep 0.5
shot paused
dashed || fail "the frame is not dashed while paused ($(line_pixels))"
xdotool key Pause
xdotool mousemove --sync 900 600 click 1
xdotool mousemove --sync 1000 650
still 1 1.5 "a key, a click or a rest captured while paused"

xdotool key shift+Pause
sleep 0.5
solid || fail "Shift+Pause did not resume ($(line_pixels))"
xdotool key Pause
wait_objects 2
sleep 0.4

"$QUILLORA_BIN_DIR/quillora" --pause || fail "quillora --pause failed"
sleep 0.5
dashed || fail "quillora --pause did not pause ($(line_pixels))"
xdotool key Pause
xdotool mousemove --sync 800 500 click 1
still 2 1.5 "captured after quillora --pause"
"$QUILLORA_BIN_DIR/quillora" --pause || fail "quillora --pause did not resume"
sleep 0.5
solid || fail "the second quillora --pause did not resume ($(line_pixels))"
xdotool mousemove --sync 1000 700 click 1
wait_objects 3
stop_recording
"$QUILLORA_BIN_DIR/quillora" --pause 2>/dev/null && fail "--pause answers after the stop"
kill "$pid"; wait "$pid" 2>/dev/null
echo PASS
