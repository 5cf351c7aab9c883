#!/usr/bin/env bash
# A short, bounded fuzzing run of the JPEG and WAV readers:
#   fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]
# New interesting inputs are collected in BUILD_DIR/corpus-*; to keep them as
# regression inputs, merge them into fuzz/corpus/ (see README).
set -euo pipefail
build=$(cd "${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS]}" && pwd)
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
for kind in jpeg wav; do
  work="$build/corpus-$kind"
  mkdir -p "$work"
  echo "== fuzz_$kind for ${seconds}s"
  status=0
  "$build/fuzz_$kind" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/" "$work" "$here/corpus/$kind" >"$build/fuzz_$kind.log" 2>&1 || status=$?
  grep -E "DONE|stat::number_of_executed_units|stat::new_units_added|ERROR|SUMMARY" "$build/fuzz_$kind.log" || true
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$kind failed (exit $status); see $build/fuzz_$kind.log" >&2
    exit "$status"
  fi
done
