#!/usr/bin/env bash
# Writes the movie of a recording (200 screenshots of 640 x 480, 50 of
# 1920 x 1080) with the SWF writer and prints time and size figures.
set -euo pipefail
build=$(cd "${1:?usage: bench/swf/run.sh BUILD_DIR}" && pwd)
"$build/bin/swf_bench" "${@:2}"
