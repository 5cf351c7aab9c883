#!/usr/bin/env bash
# What the main window adds to each edit of a long recording.
set -euo pipefail
build=$(cd "${1:?usage: bench/app/run.sh BUILD_DIR}" && pwd)
exe="$build/bin/app_bench"
[ -x "$exe" ] || exe="$build/bench/app/app_bench"
"$exe" --benchmark_min_time=0.5 --benchmark_counters_tabular=true
