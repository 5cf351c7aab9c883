#!/usr/bin/env bash
# Peak memory of a video export as the movie grows: quillora-export on
# recorded projects of 100, 1000 and 3000 screenshots (640 x 480, 24 frames
# each, a click per picture), the peak resident size of the child process
# as the kernel counts it (getrusage ru_maxrss). A flat figure means a long
# recording exports on a small machine. VIDEO_MEMORY_EXT=webm measures the
# WebM instead, whose parts wait in memory until they are written.
set -euo pipefail
build=$(cd "${1:?usage: bench/video/memory.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ext=${VIDEO_MEMORY_EXT:-mp4}
echo "peak RSS of quillora-export, $ext of N screenshots 640x480 (24 frames each, 15 fps)"
for n in ${VIDEO_MEMORY_N:-100 1000 3000}; do
  "$build/bin/export_bench_project" "$work/p$n" "$n" 640 480 >/dev/null
  /usr/bin/python3 - "$build/bin/quillora-export" "$work/p$n/project.qlv" "$work/p$n.$ext" "$n" <<'PY'
import resource, subprocess, sys, time
tool, project, movie, n = sys.argv[1:]
start = time.time()
rc = subprocess.run([tool, project, movie], stderr=subprocess.DEVNULL).returncode
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
print("  %5s pictures  %8.1f MB peak  %7.1f s  exit %d" % (n, peak, time.time() - start, rc))
PY
  rm -rf "$work/p$n" "$work/p$n.$ext"
done
