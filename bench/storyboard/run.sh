#!/usr/bin/env bash
# Opening a long recording into the storyboard, on the offscreen platform.
set -euo pipefail
build=$(cd "${1:?usage: bench/storyboard/run.sh BUILD_DIR}" && pwd)
exe="$build/bin/storyboard_bench"
[ -x "$exe" ] || exe="$build/bench/storyboard/storyboard_bench"
QT_QPA_PLATFORM=offscreen "$exe" --benchmark_min_time=0.5 --benchmark_counters_tabular=true
