#!/usr/bin/env bash
# What opening a long recording for editing costs, and one edit and its undo.
set -euo pipefail
build=$(cd "${1:?usage: bench/project/run.sh BUILD_DIR}" && pwd)
exe="$build/bin/project_bench"
[ -x "$exe" ] || exe="$build/bench/project/project_bench"
"$exe" --benchmark_min_time=0.2 --benchmark_counters_tabular=true
