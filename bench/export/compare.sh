#!/usr/bin/env bash
# The SWF export of two builds side by side, whole process, paired runs (the
# two alternate, so a busy moment costs both): quillora-export on recorded
# projects of 200 screenshots at 640 x 480, the plain desktops of run.sh and
# the denser ones. Prints per build the best and median wall and CPU time,
# the peak resident size, the time of `quillora-export --help` and the shared
# libraries each loads, and whether the two movies are the same bytes.
#   bench/export/compare.sh BEFORE_BUILD AFTER_BUILD
# e.g. BEFORE_BUILD a Release build of an older commit in a worktree of its own.
set -euo pipefail
before=$(cd "${1:?usage: bench/export/compare.sh BEFORE_BUILD AFTER_BUILD}" && pwd)
after=$(cd "${2:?usage: bench/export/compare.sh BEFORE_BUILD AFTER_BUILD}" && pwd)
n=${EXPORT_BENCH_N:-200}
runs=${EXPORT_BENCH_RUNS:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -x /usr/bin/time ] || { echo "GNU time is not installed (apt-get install time)"; exit 1; }

# "wall cpu peak_kB" of one run of "$@"
once() { /usr/bin/time -f "%e %U %S %M" "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }'; }
# best and median of column $1 over the lines on stdin
stats() { sort -g -k"$1" | awk -v c="$1" '{ v[NR] = $c } END { printf "best %.3f, median %.3f", v[1], v[int((NR + 1) / 2)] }'; }
# shared objects the dynamic loader brings in for "$@", the program itself not counted
libs() { LD_DEBUG=libs "$@" 2>&1 >/dev/null | sed -n 's/.*calling init: //p' | sort -u | wc -l; }
# milliseconds of one run of "$@", the mean of 20 (too short for time's 10 ms)
ms() {
  local start end
  start=$(date +%s%N)
  for _ in $(seq 20); do "$@" >/dev/null 2>&1; done
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.2f\n", ns / 20 / 1e6 }'
}

for style in plain dense; do
  dir=$work/$style
  jpeg=$("$after/bin/export_bench_project" "$dir" "$n" 640 480 $([ $style = dense ] && echo dense))
  for b in before after; do # warm the page cache and the programs
    "${!b}/bin/quillora-export" "$dir/project.qlv" "$dir/$b.swf" 2>/dev/null
  done
  : >"$work/before.runs"
  : >"$work/after.runs"
  for ((i = 0; i < runs; i++)); do
    for b in before after; do
      once "${!b}/bin/quillora-export" "$dir/project.qlv" "$dir/$b.swf" >>"$work/$b.runs"
    done
  done
  echo "SWF of $n $style screenshots 640x480 ($jpeg bytes of JPEG), whole process, $runs paired runs"
  for b in before after; do
    printf "  %-6s wall %s s; CPU %s s; peak %s MB; %d bytes\n" "$b" \
      "$(stats 1 <"$work/$b.runs")" "$(stats 2 <"$work/$b.runs")" \
      "$(sort -n -k3 "$work/$b.runs" | awk '{ v[NR] = $3 } END { printf "%.1f", v[int((NR + 1) / 2)] / 1024 }')" \
      "$(stat -c %s "$dir/$b.swf")"
  done
  if cmp -s "$dir/before.swf" "$dir/after.swf"; then
    echo "  the two movies are the same bytes"
  else
    echo "  THE TWO MOVIES DIFFER"
  fi
  awk 'NR == FNR { b += $2; next } { a += $2 } END { printf "  CPU after / before: %.2f (sums of the paired runs)\n", a / b }' \
    "$work/before.runs" "$work/after.runs"
done

echo "quillora-export --help, $runs paired runs of 20 each"
for b in before after; do
  : >"$work/$b.help"
done
for ((i = 0; i < runs; i++)); do
  for b in before after; do
    echo "$(ms "${!b}/bin/quillora-export" --help)" >>"$work/$b.help"
  done
done
for b in before after; do
  printf "  %-6s wall %s ms; %d shared libraries loaded (--help), %d for the SWF\n" "$b" \
    "$(stats 1 <"$work/$b.help")" "$(libs "${!b}/bin/quillora-export" --help)" \
    "$(libs "${!b}/bin/quillora-export" "$work/plain/project.qlv" "$work/plain/$b.swf")"
done
