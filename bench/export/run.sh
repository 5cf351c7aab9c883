#!/usr/bin/env bash
# Exports a recorded project of 200 screenshots (640 x 480) with the
# command-line exporter, as a whole process (start, project load, export,
# write), and prints wall time, output bytes, the ratio to the JPEG bytes and
# the floor (reading every JPEG once).
set -euo pipefail
build=$(cd "${1:?usage: bench/export/run.sh BUILD_DIR}" && pwd)
n=${EXPORT_BENCH_N:-200}
runs=${EXPORT_BENCH_RUNS:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

jpeg_bytes=$("$build/bin/export_bench_project" "$work" "$n" 640 480)
"$build/bin/quillora-export" "$work/project.qlv" "$work/warm.swf"  # warm the page cache

times=()
for ((i = 0; i < runs; i++)); do
  start=$(date +%s%N)
  "$build/bin/quillora-export" "$work/project.qlv" "$work/movie.swf"
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000 )))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
best=${sorted[0]}
median=${sorted[$(( runs / 2 ))]}
out_bytes=$(stat -c %s "$work/movie.swf")
read -r floor_s _ < <("$build/bin/export_bench_project" --floor "$work")
read -r driver_s driver_calls < <("$build/bin/export_bench_project" --driver "$work")

awk -v n="$n" -v best="$best" -v median="$median" -v out="$out_bytes" -v jpeg="$jpeg_bytes" \
    -v floor="$floor_s" -v runs="$runs" -v driver="$driver_s" -v calls="$driver_calls" 'BEGIN {
  printf "export of %d screenshots 640x480 through quillora-export (whole process, %d runs)\n", n, runs
  printf "  wall time   best %.3f s, median %.3f s   (bar: below 0.29 s)\n", best / 1e6, median / 1e6
  printf "  output      %d bytes; JPEG bytes %d; ratio %.3f   (bar: below 0.83)\n", out, jpeg, out / jpeg
  printf "  floor       %.4f s (reading every JPEG once)\n", floor
  printf "  driver      %.4f s for loading the project and %d movie calls into a writer that does nothing\n", driver, calls
}'
