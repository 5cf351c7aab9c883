#!/usr/bin/env bash
# The search for the frame in the screen cast's picture (GNOME Shell places
# windows below its top bar).
set -euo pipefail
build=$(cd "${1:?usage: bench/platform/run.sh BUILD_DIR}" && pwd)
exe="$build/bin/frame_find_bench"
[ -x "$exe" ] || { echo "frame_find_bench not built: skipped"; exit 0; }
QT_QPA_PLATFORM=offscreen "$exe"
