#!/bin/sh
# A disk that fills up while a guide is written: the exporter says so, exits
# with an error, and leaves the old guide (and its Markdown folder) as it
# was and nothing beside it. The small disk is a tmpfs in a mount namespace
# of our own; without one the test is skipped.
set -u
tool=${1:?usage: full-disk.sh QUILLORA-EXPORT}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../video/lib.sh"

mkdir "$work/disk"
if ! unshare -rm true 2>/dev/null; then
    echo "SKIP: no mount namespace for a small disk" >&2
    exit 77
fi
command -v convert >/dev/null || { echo "SKIP: no ImageMagick convert" >&2; exit 77; }

make_project "$work" 4 320 240

for ext in html md pdf; do
    unshare -rm sh -c '
        mount -t tmpfs -o size=96k tmpfs "$2/disk" || exit 3
        printf "the old guide" >"$2/disk/demo.$3"
        mkdir "$2/disk/demo_files" && printf "old" >"$2/disk/demo_files/step-001.jpg"
        "$1" "$2/clip.qlv" "$2/disk/demo.$3" 2>"$2/err.txt"
        echo $? >"$2/rc"
        ls -A "$2/disk" | tr "\n" " " >"$2/left.txt"
        cat "$2/disk/demo.$3" >"$2/old.txt"
        ls -A "$2/disk/demo_files" | tr "\n" " " >"$2/folder.txt"
    ' sh "$tool" "$work" "$ext"
    [ "$(cat "$work/rc")" != 0 ] || fail "$ext: a full disk was reported as success"
    grep -q "No space left on device" "$work/err.txt" || fail "$ext: no full-disk message: $(cat "$work/err.txt")"
    [ "$(cat "$work/left.txt")" = "demo.$ext demo_files " ] || fail "$ext: left behind: $(cat "$work/left.txt")"
    [ "$(cat "$work/old.txt")" = "the old guide" ] || fail "$ext: the old file was changed"
    [ "$(cat "$work/folder.txt")" = "step-001.jpg " ] || fail "$ext: the old folder was changed"
    echo "$ext: $(tail -1 "$work/err.txt")"
done
exit 0
