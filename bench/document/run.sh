#!/usr/bin/env bash
# Cost of the document work behind each capture, as a recording grows, and
# of opening a long project: reading every object, and the export's walk.
set -euo pipefail
build=$(cd "${1:?usage: bench/document/run.sh BUILD_DIR}" && pwd)
exe="$build/bin/document_bench"
[ -x "$exe" ] || exe="$build/bench/document/document_bench"
"$exe" --benchmark_min_time=0.2 --benchmark_counters_tabular=true
