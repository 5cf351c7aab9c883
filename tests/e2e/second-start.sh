# A second start hands its file to the Quillora that runs already, over the
# session bus, and ends with status 0: the running window opens the project
# (its title names it), asks "Save changes?" first when its own project has
# changes, and comes to the front; a second start without a file only
# brings the window up. File > Open through its dialog opens a project the
# same way, and File > Exit then ends the first with status 0.
. "$(dirname "$0")/lib.sh"

start_session_bus
bin=${QUILLORA_BIN_DIR:?}
proj=$E2E_TMP/projects
mkdir -p "$proj"
for name in demo other; do
    convert -size 320x240 xc:navy -quality 90 "$proj/$name.jpg" || fail "convert"
    cat >"$proj/$name.qlv" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<Movie><BgColor>16777215</BgColor><BgPic></BgPic><Width>320</Width><Height>240</Height><Rate>15</Rate><TotalFrames>0</TotalFrames><Times>0</Times><FileSize>0</FileSize><MovieName></MovieName><Author></Author><Loop>False</Loop><Obj><Demo></Demo><MouseX>50</MouseX><MouseY>40</MouseY><ObjName>Pic1</ObjName><StartTime>0</StartTime><EndTime>24</EndTime><Layer>2</Layer><ObjTypeName>Pic</ObjTypeName><ObjType><ObjPic><Content>$proj/$name.jpg</Content><PositionX>0</PositionX><PositionY>0</PositionY><Width>320</Width><Height>240</Height><EffectName>None</EffectName></ObjPic></ObjType></Obj></Movie>
XML
done

# second NAME ARGS...: a second start from the projects' folder (so a
# relative name must be made whole); it must end by itself with status 0.
second() {
    local name=$1
    shift
    (cd "$proj" && exec "$bin/quillora" "$@") >"$E2E_TMP/$name.log" 2>&1 &
    local spid=$!
    wait_exit 30 "$spid"
    local status=$?
    [ $status -eq 0 ] || { cat "$E2E_TMP/$name.log" >&2; fail "$name: the second start ended with status $status"; }
    grep -q 'AddressSanitizer\|runtime error' "$E2E_TMP/$name.log" && { cat "$E2E_TMP/$name.log" >&2; fail "$name: sanitizer report"; }
    true
}

"$bin/quillora" >"$E2E_TMP/quillora.log" 2>&1 &
pid=$!
main=$(wait_window 60 --name '^Quillora 1\.0$') || { cat "$E2E_TMP/quillora.log" >&2; fail "no main window"; }
wait_bus_name 20 org.brindlecove.Quillora || fail "the program holds no name on the session bus"
sleep 0.5

second open demo.qlv
got=$(wait_window 30 --name '^Quillora 1\.0 - demo$') || fail "the running window did not open demo.qlv: $(xdotool getwindowname "$main")"
[ "$got" = "$main" ] || fail "the project opened in another window ($got, not $main)"
sleep 0.5
shot second-start-opened
[ "$(xdotool search --onlyvisible --name '^Quillora 1\.0' | wc -l)" = 1 ] || fail "more than one main window"
grep -q "RecentProjects=$proj/demo.qlv" "$XDG_CONFIG_HOME/Brindlecove/Quillora.conf" ||
    fail "demo.qlv is not among the recent projects: $(cat "$XDG_CONFIG_HOME/Brindlecove/Quillora.conf")"

# An edit marks the title; the next handed file asks about it first.
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers Home Delete
wait_window 20 --name '^Quillora 1\.0 - demo\*$' >/dev/null || fail "the title does not mark the change: $(xdotool getwindowname "$main")"
shot title-marked
second other "$proj/other.qlv"
box=$(wait_window 20 --name '^Confirm$') || fail "no \"Save changes?\" before the handed file opens"
sleep 0.5
shot save-changes
xdotool windowfocus --sync "$box"
xdotool key --clearmodifiers alt+n
wait_window 30 --name '^Quillora 1\.0 - other$' >/dev/null || fail "other.qlv did not open after Don't Save"
grep -q 'Pic1' "$proj/demo.qlv" || fail "Don't Save changed demo.qlv"

# Without a file: the window comes up, nothing else changes.
second raise
[ "$(xdotool getwindowname "$main")" = "Quillora 1.0 - other" ] || fail "a bare second start changed the window"
kill -0 "$pid" 2>/dev/null || fail "the first copy ended"

# File > Open Recent from the keyboard: its first entry is other.qlv.
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+f
sleep 0.3
xdotool key --clearmodifiers r
sleep 0.5
shot open-recent
xdotool key --clearmodifiers Escape Escape Escape
sleep 0.3

# File > Open (Ctrl+O) through the real dialog opens a project the same way.
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+o
dialog=$(wait_window 20 --name '^Open$') || fail "Ctrl+O showed no file dialog"
sleep 0.5
shot open-dialog
xdotool windowfocus --sync "$dialog"
xdotool type --delay 20 "$proj/demo.qlv"
xdotool key --clearmodifiers Return
wait_gone 20 --name '^Open$' || fail "the file dialog stayed"
wait_window 30 --name '^Quillora 1\.0 - demo$' >/dev/null || fail "File > Open did not open demo.qlv: $(xdotool getwindowname "$main")"
sleep 0.5
shot opened-by-dialog

xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+f
sleep 0.5
xdotool key --clearmodifiers x
wait_exit 30 "$pid"
status=$?
[ $status -eq 0 ] || { cat "$E2E_TMP/quillora.log" >&2; fail "File > Exit ended with status $status"; }
grep -q 'AddressSanitizer\|runtime error' "$E2E_TMP/quillora.log" && { cat "$E2E_TMP/quillora.log" >&2; fail "sanitizer report"; }
echo PASS
