#!/usr/bin/env bash
# Step-by-step guides of recorded projects, whole process: quillora-export
# writing the PDF, HTML and Markdown guide of 200 screenshots at 640 x 480
# and of 50 at 1920 x 1080 (a step each, its heading, the ring on the
# pointer, an outline entry), beside img2pdf packing the same JPEGs into a
# PDF in the same run (no re-encoding: the floor for a PDF of these
# pictures). Best of $GUIDE_BENCH_RUNS (3) by wall time. Prints seconds and
# bytes, our PDF against img2pdf's, the HTML against the JPEG bytes (base64
# is 4/3 of them), and how many of the PDF's images are the JPEGs as they are.
set -euo pipefail
build=$(cd "${1:?usage: bench/guide/run.sh BUILD_DIR}" && pwd)
runs=${GUIDE_BENCH_RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for tool in img2pdf pdfimages; do
  command -v $tool >/dev/null || { echo "$tool is not installed (scripts/install-deps.sh)"; exit 1; }
done

timed() { # best of $runs: "wall cpu"
  local best="" line
  for _ in $(seq "$runs"); do
    line=$(/usr/bin/time -f "%e %U %S" "$@" 2>&1 >/dev/null | tail -1)
    line=$(awk '{ printf "%.2f %.2f", $1, $2 + $3 }' <<<"$line")
    if [ -z "$best" ] || awk -v a="$line" -v b="$best" 'BEGIN { split(a, x, " "); split(b, y, " "); exit !(x[1] < y[1]) }'; then
      best=$line
    fi
  done
  echo "$best"
}
row() { # label "wall cpu" bytes [note]
  read -r wall cpu <<<"$2"
  printf "  %-26s %6s s wall %6s s CPU %11d bytes%s\n" "$1" "$wall" "$cpu" "$3" "${4:-}"
}

for shape in "200 640 480" "50 1920 1080"; do
  read -r n w h <<<"$shape"
  p=$work/p$n
  jpeg=$("$build/bin/export_bench_project" "$p" "$n" "$w" "$h")
  echo "guides of $n screenshots ${w}x${h} ($jpeg bytes of JPEG), whole process, best of $runs"
  ti=$(timed img2pdf "$p"/shots/*.jpg -o "$p/img2pdf.pdf")
  ibytes=$(stat -c %s "$p/img2pdf.pdf")
  row "img2pdf" "$ti" "$ibytes"
  tq=$(timed "$build/bin/quillora-export" "$p/project.qlv" "$p/guide.pdf")
  qbytes=$(stat -c %s "$p/guide.pdf")
  images=$(pdfimages -list "$p/guide.pdf" | awk 'NR > 2 { n++; if ($9 == "jpeg") j++ } END { printf "%d images, %d of them JPEG", n, j }')
  passed=$(pdfimages -j "$p/guide.pdf" "$p/out" && cmp_count=0 &&
    for f in "$p"/out-*.jpg; do
      cmp -s "$f" "$p/shots/$(printf '%d' $((100000 + 10#$(basename "$f" .jpg | sed 's/out-//'))) ).jpg" && cmp_count=$((cmp_count + 1))
    done; echo "${cmp_count:-0}")
  row "quillora-export PDF" "$tq" "$qbytes" "  ($images, $passed byte for byte)"
  awk -v a="$qbytes" -v b="$ibytes" -v ta="${tq%% *}" -v tb="${ti%% *}" \
    'BEGIN { printf "  %-26s %.3fx the bytes, %.2fx the wall time of img2pdf (goal: 1.1x, 2x)\n", "PDF", a / b, ta / tb }'
  t=$(timed "$build/bin/quillora-export" "$p/project.qlv" "$p/guide.html")
  hbytes=$(stat -c %s "$p/guide.html")
  row "quillora-export HTML" "$t" "$hbytes"
  awk -v a="$hbytes" -v b="$jpeg" \
    'BEGIN { printf "  %-26s %.3fx the JPEG bytes (goal: 1.4x; base64 alone 1.333x)\n", "HTML", a / b }'
  t=$(timed "$build/bin/quillora-export" "$p/project.qlv" "$p/guide.md")
  mbytes=$(du -sb "$p/guide.md" "$p/guide_files" | awk '{ s += $1 } END { print s }')
  row "quillora-export Markdown" "$t" "$mbytes" "  (the file and guide_files/)"
  rm -rf "$p"
done
