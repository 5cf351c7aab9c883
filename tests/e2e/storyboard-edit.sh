# A recorded project of three pictures opened from the command line: Delete
# takes the second away, Ctrl+Z brings it back, Ctrl+Left twice puts the
# third first, Ctrl+T adds a caption to it, Ctrl+S saves; the project file
# says so and the movie parses and carries the caption; Preview plays it in
# the program's own player.
. "$(dirname "$0")/lib.sh"

bin=${QUILLORA_BIN_DIR:?}
py=/usr/bin/python3
[ -x $py ] || py=python3
check="$(dirname "$0")/../swf/check_swf.py"
proj=$E2E_TMP/demo
mkdir -p "$proj"
objs=
for i in 1 2 3; do
    colour=$(echo red green blue | cut -d' ' -f$i)
    convert -size 320x240 "xc:$colour" -quality 90 "$proj/$i.jpg" || fail "convert"
    objs="${objs}<Obj><Demo></Demo><MouseX>$((i * 50))</MouseX><MouseY>$((i * 40))</MouseY><ObjName>Pic$i</ObjName><StartTime>$(((i - 1) * 24))</StartTime><EndTime>$((i * 24))</EndTime><Layer>2</Layer><ObjTypeName>Pic</ObjTypeName><ObjType><ObjPic><Content>$proj/$i.jpg</Content><PositionX>0</PositionX><PositionY>0</PositionY><Width>320</Width><Height>240</Height><EffectName>None</EffectName></ObjPic></ObjType></Obj>"
done
cat >"$proj/clip.qlv" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<Movie><BgColor>16777215</BgColor><BgPic></BgPic><Width>320</Width><Height>240</Height><Rate>15</Rate><TotalFrames>0</TotalFrames><Times>0</Times><FileSize>0</FileSize><MovieName></MovieName><Author></Author><Loop>False</Loop>$objs</Movie>
XML

"$bin/quillora" "$proj/clip.qlv" >"$E2E_TMP/quillora.log" 2>&1 &
pid=$!
main=$(wait_window 60 --name '^Quillora 1\.0 - clip$') || { cat "$E2E_TMP/quillora.log" >&2; fail "no main window"; }
sleep 1
shot storyboard-opened
xdotool windowfocus --sync "$main"
key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }

key Right Delete
grep -q 'Pic2' "$HOME/Documents/Quillora/screenshots/Untitled.qlv" && fail "Delete left Pic2 in the working project"
shot storyboard-deleted
key ctrl+z
grep -q 'Pic2' "$HOME/Documents/Quillora/screenshots/Untitled.qlv" || fail "Ctrl+Z did not bring Pic2 back"
key End ctrl+Left ctrl+Left
key ctrl+t
dialog=$(wait_window 20 --name '^Add Caption$') || fail "Ctrl+T showed no caption dialog"
sleep 0.5
shot caption-dialog-open
xdotool windowfocus --sync "$dialog"
xdotool type --delay 30 'Click Save'
sleep 0.3
shot caption-dialog
key Return
wait_gone 20 --name '^Add Caption$' || fail "the caption dialog stayed"
sleep 0.5
shot storyboard-caption
xdotool windowfocus --sync "$main"
key ctrl+s
end=$((SECONDS + 30))
until [ -s "$proj/clip.swf" ] || [ $SECONDS -gt $end ]; do sleep 0.2; done
[ -s "$proj/clip.swf" ] || fail "Save wrote no movie"
sleep 0.5
shot storyboard-saved

# The pictures in their new order without gaps, the caption over Pic3.
qlv=$(cat "$proj/clip.qlv")
order=$(echo "$qlv" | grep -o '<ObjName>[A-Za-z0-9]*</ObjName><StartTime>[0-9]*</StartTime><EndTime>[0-9]*</EndTime>' | sed 's/<[A-Za-z]*>//g; s/<\/[A-Za-z]*>/ /g' | tr '\n' ';')
echo "order: $order"
[ "$order" = "Pic3 0 24 ;Pic1 24 48 ;Pic2 48 72 ;Text1 0 23 ;" ] || { echo "$qlv" >&2; fail "unexpected timeline: $order"; }
echo "$qlv" | grep -q '<Content>Click Save</Content>' || fail "no caption in the project"

"$py" "$check" "$proj/clip.swf" >"$E2E_TMP/swf.txt" || { cat "$E2E_TMP/swf.txt" >&2; fail "the movie does not parse"; }
grep -q 'codes=.*C' "$E2E_TMP/swf.txt" || fail "the movie's font lacks the caption's letters"
grep -q 'TAG DefineText.* glyphs=10' "$E2E_TMP/swf.txt" || fail "the movie has no caption text: $(grep -c TAG "$E2E_TMP/swf.txt") tags"

# No program for SWF files here, so View > Preview plays the saved movie in
# the program's own player: it plays at once, and Home stops it on the
# first picture (Pic3, blue);
# End shows the stop frame, after the last picture's end, and Left the last
# picture (Pic2, green).
xdotool windowfocus --sync "$main"
key alt+v
key p
player=$(wait_window 30 --name '^Preview - Quillora 1\.0$') || fail "Preview showed no player"
sleep 1
# expect_centre NAME TEST WHAT: the player's centre pixel as "r g b" in $1..$3
# must pass TEST (a shell condition on them), else the frame is not WHAT.
expect_centre() {
    shot "player-$1"
    import -window "$player" "$E2E_TMP/player.png" 2>/dev/null || fail "no picture of the player"
    set -- "$1" "$2" "$3" $(convert "$E2E_TMP/player.png" -gravity center -crop 1x1+0-20 +repage \
        -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)
    r=$4 g=$5 b=$6
    eval "$2" || fail "the player's $1 frame is not $3: $r $g $b"
}
xdotool windowfocus --sync "$player"
key Home
sleep 0.5
expect_centre first '[ $b -gt 180 ] && [ $r -lt 80 ] && [ $g -lt 80 ]' "Pic3's blue"
key End
sleep 0.5
expect_centre stop '[ $r -gt 200 ] && [ $g -gt 200 ] && [ $b -gt 200 ]' "the bare stage"
key Left
sleep 0.5
expect_centre last '[ $g -gt 80 ] && [ $r -lt 80 ] && [ $b -lt 80 ]' "Pic2's green"
key Escape
wait_gone 20 --name '^Preview - Quillora 1\.0$' || fail "Escape left the player open"

xdotool windowfocus --sync "$main"
key ctrl+q 2>/dev/null || true
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit 0
