#!/bin/sh
# Ctrl+C, SIGTERM or SIGHUP while a video is written: the exporter stops,
# says so, exits with an error, and leaves the old file as it was and
# nothing beside it.
set -u
tool=${1:?usage: interrupt.sh QUILLORA-EXPORT}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/lib.sh"
command -v convert >/dev/null || { echo "SKIP: no ImageMagick convert" >&2; exit 77; }

# Long enough that the interrupt comes well before the end.
make_project "$work" 40 640 480
for run in mp4:INT mp4:TERM mp4:HUP webm:TERM gif:INT gif:HUP; do
    ext=${run%%:*} sig=${run#*:}
    printf "the old movie" >"$work/demo.$ext"
    "$tool" "$work/clip.qlv" "$work/demo.$ext" 2>"$work/err.txt" &
    pid=$!
    # The video is being written once its file beside the target has bytes.
    tries=0
    until [ -n "$(find "$work" -maxdepth 1 -name "demo.$ext.*" -size +0 2>/dev/null)" ]; do
        tries=$((tries + 1))
        [ $tries -lt 2000 ] || { kill "$pid"; fail "$ext $sig: no video was being written"; }
        kill -0 "$pid" 2>/dev/null || fail "$ext $sig: the export ended before it could be interrupted"
        sleep 0.01
    done
    kill -"$sig" "$pid"
    wait "$pid"
    rc=$?
    [ $rc != 0 ] || fail "$ext $sig: an interrupted export was reported as success"
    grep -q "cancelled" "$work/err.txt" || fail "$ext $sig: no word of the interrupt: $(cat "$work/err.txt")"
    left=$(ls -A "$work" | grep "^demo\.$ext")
    [ "$left" = "demo.$ext" ] || fail "$ext $sig: left behind: $left"
    [ "$(cat "$work/demo.$ext")" = "the old movie" ] || fail "$ext $sig: the old file was changed"
    echo "$ext $sig: $(tail -1 "$work/err.txt")"
done
exit 0
