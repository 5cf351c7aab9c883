#!/usr/bin/env bash
# Exports a recorded project of 200 screenshots (640 x 480) with the
# command-line exporter, as a whole process (start, project load, export,
# write), and prints wall time, output bytes, the ratio to the JPEG bytes and
# the floor (reading every JPEG once). Two kinds of screenshots: the plain
# desktops of a recording (the bar's benchmark) and denser ones with about
# 1.5 times the JPEG bytes.
set -euo pipefail
build=$(cd "${1:?usage: bench/export/run.sh BUILD_DIR}" && pwd)
n=${EXPORT_BENCH_N:-200}
runs=${EXPORT_BENCH_RUNS:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

measure() {
  local style=$1 dir="$work/$1"
  local jpeg_bytes
  jpeg_bytes=$("$build/bin/export_bench_project" "$dir" "$n" 640 480 ${2:-})
  "$build/bin/quillora-export" "$dir/project.qlv" "$dir/warm.swf"  # warm the page cache

  local times=() i start end
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    "$build/bin/quillora-export" "$dir/project.qlv" "$dir/movie.swf"
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))
  done
  local sorted=($(printf '%s\n' "${times[@]}" | sort -n))
  local out_bytes floor_s driver_s driver_calls
  out_bytes=$(stat -c %s "$dir/movie.swf")
  read -r floor_s _ < <("$build/bin/export_bench_project" --floor "$dir")
  read -r driver_s driver_calls < <("$build/bin/export_bench_project" --driver "$dir")

  awk -v n="$n" -v best="${sorted[0]}" -v median="${sorted[$(( runs / 2 ))]}" -v out="$out_bytes" \
      -v jpeg="$jpeg_bytes" -v floor="$floor_s" -v runs="$runs" -v driver="$driver_s" \
      -v calls="$driver_calls" -v style="$style" 'BEGIN {
    printf "export of %d %s screenshots 640x480 through quillora-export (whole process, %d runs)\n", n, style, runs
    printf "  wall time   best %.3f s, median %.3f s   (bar: below 0.29 s)\n", best / 1e6, median / 1e6
    printf "  output      %d bytes; JPEG bytes %d; ratio %.3f   (bar: below 0.83)\n", out, jpeg, out / jpeg
    printf "  floor       %.4f s (reading every JPEG once)\n", floor
    printf "  driver      %.4f s for loading the project and %d movie calls into a writer that does nothing\n", driver, calls
  }'
}

measure plain
measure dense dense
