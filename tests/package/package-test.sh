#!/usr/bin/env bash
# Builds the Debian package of this build folder, unpacks it into a scratch
# folder and exports a movie with the unpacked quillora-export, which must
# find its data files (the click) in the unpacked tree.
# Usage: package-test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2

# yaswfp is a Debian package: Debian's own python3 has it.
python=python3
[ ! -x /usr/bin/python3 ] || python=/usr/bin/python3
for tool in cpack dpkg-deb dpkg-shlibdeps "$python" convert; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (scripts/install-deps.sh installs it)"
    exit 77
  fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack failed"; }
debs=("$scratch"/out/quillora_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one quillora_*.deb, got: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb")"

# The control data: dependencies found from the programs' shared libraries.
info=$(dpkg-deb -I "$deb")
echo "$info" | grep -q '^ Package: quillora$' || fail "package name: $info"
depends=$(echo "$info" | sed -n 's/^ Depends: //p')
echo "Depends: $depends"
libs="libc6 libpugixml1v5 libavcodec59"
[ ! -x "$build/bin/quillora" ] || libs+=" libqt6widgets6"
for lib in $libs; do
  [[ ",$depends," == *"$lib"* ]] || fail "$lib missing from Depends"
done

# The files: programs, data, desktop entry, MIME type, icons; and none of the
# desktop caches, which belong to other packages.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$scratch/files"
programs=/usr/bin/quillora-export
[ ! -x "$build/bin/quillora" ] || programs+=" /usr/bin/quillora"
for f in $programs \
  /usr/share/quillora/blank.qlv /usr/share/quillora/click.wav \
  /usr/share/quillora/capture.wav /usr/share/quillora/help.html \
  /usr/share/applications/quillora.desktop /usr/share/mime/packages/quillora.xml \
  /usr/share/icons/hicolor/48x48/apps/quillora.png \
  /usr/share/icons/hicolor/256x256/apps/quillora.png; do
  grep -qx "$f" "$scratch/files" || fail "$f is not in the package"
done
if grep -E '^/usr/share/mime/[^p]|^/usr/share/applications/mimeinfo|icon-theme.cache|^/usr/local' \
  "$scratch/files"; then
  fail "the package holds a cache or a file outside /usr"
fi

# The unpacked tree works where it lies: the exporter finds its data there.
root=$scratch/root
dpkg-deb -x "$deb" "$root"
export=$root/usr/bin/quillora-export
"$export" --help >"$scratch/help"
grep -qF "($root/usr/bin/../share/quillora)" "$scratch/help" ||
  fail "data folder: $(grep -F click.wav "$scratch/help")"

mkdir "$scratch/project"
convert -size 64x48 xc:'#3070c0' "$scratch/project/1.jpg"
obj() { # name start end
  echo "<Obj><Demo></Demo><MouseX>10</MouseX><MouseY>10</MouseY><ObjName>$1</ObjName><StartTime>$2</StartTime><EndTime>$3</EndTime><Layer>2</Layer><ObjTypeName>Pic</ObjTypeName><ObjType><ObjPic><Content>$scratch/project/1.jpg</Content><PositionX>0</PositionX><PositionY>0</PositionY><Width>64</Width><Height>48</Height><EffectName>None</EffectName></ObjPic></ObjType></Obj>"
}
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo "<Movie><BgColor>16777215</BgColor><BgPic></BgPic><Width>64</Width><Height>48</Height><Rate>15</Rate><TotalFrames>0</TotalFrames><Times>0</Times><FileSize>0</FileSize><MovieName></MovieName><Author></Author><Loop>False</Loop>"
  obj Pic1 0 24
  obj Pic2 24 48
  echo "</Movie>"
} >"$scratch/project/demo.qlv"

"$export" "$scratch/project/demo.qlv" 2>"$scratch/stderr" || { cat "$scratch/stderr"; fail "export failed"; }
[ ! -s "$scratch/stderr" ] || { cat "$scratch/stderr"; fail "the export reported problems"; }
"$python" "$source/tests/swf/check_swf.py" "$scratch/project/demo.swf" >"$scratch/tags" ||
  { cat "$scratch/tags"; fail "the movie does not parse"; }
# One click per picture, from the packaged click.wav.
[ "$(grep -c '^TAG DefineSound' "$scratch/tags")" -ge 1 ] || fail "no click sound in the movie"
[ "$(grep -c '^TAG StartSound' "$scratch/tags")" -eq 2 ] || fail "expected two clicks: $(grep Sound "$scratch/tags")"
# A video comes from the module in the unpacked tree's lib folder.
grep -q '/quillora/quillora-media.so$' "$scratch/files" || fail "the video module is not in the package"
grep -q '/quillora/quillora-guide.so$' "$scratch/files" || fail "the guide module is not in the package"
"$export" "$scratch/project/demo.qlv" "$scratch/project/demo.mp4" 2>"$scratch/stderr" ||
  { cat "$scratch/stderr"; fail "the MP4 export failed"; }
if command -v ffprobe >/dev/null; then
  codec=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 \
    "$scratch/project/demo.mp4")
  [ "$codec" = h264 ] || fail "the MP4's video is '$codec', not h264"
fi
"$export" "$scratch/project/demo.qlv" "$scratch/project/demo.pdf" 2>"$scratch/stderr" ||
  { cat "$scratch/stderr"; fail "the PDF guide failed"; }
[ "$(head -c 5 "$scratch/project/demo.pdf")" = "%PDF-" ] || fail "the guide is not a PDF"
echo "OK"
