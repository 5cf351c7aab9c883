#!/usr/bin/env bash
# Videos of a recorded project of 200 screenshots (640 x 480, 4801 frames at
# 15 fps) through quillora-export, whole process, beside the ffmpeg command
# line making the same video from the same JPEGs (concat list, 1.6 s each,
# 15 fps; no cursor, no sound). Prints wall time, bytes and the PSNR of the
# frames against what each encoder was given: the screenshots for ffmpeg,
# the renderer's own lossless frames (with the arrow) for Quillora, so both
# figures are what the encoding lost.
set -euo pipefail
build=$(cd "${1:?usage: bench/video/run.sh BUILD_DIR}" && pwd)
n=${VIDEO_BENCH_N:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed"; exit 1; }

"$build/bin/export_bench_project" "$work/p" "$n" 640 480 >/dev/null
list="$work/list.txt"
for f in "$work"/p/shots/*.jpg; do printf "file '%s'\nduration 1.6\n" "$f"; done >"$list"
printf "file '%s'\n" "$(ls "$work"/p/shots/*.jpg | tail -1)" >>"$list"

seconds() { # runs "$@", prints its wall time in seconds
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.2f", ns / 1e9 }'
}
psnr() { # average PSNR of a video's frames against the screenshots
  ffmpeg -hide_banner -nostats -i "$1" -f concat -safe 0 -i "$list" \
    -lavfi "[0:v]fps=15,format=rgb24[a];[1:v]fps=15,format=rgb24[b];[a][b]psnr=shortest=1" -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.inf]*\).*/\1/p' | tail -1
}
psnr_ours() { # the same against the renderer's frames, piped in raw
  "$build/bin/video_bench_render" "$work/p/project.qlv" 2>/dev/null |
    ffmpeg -hide_banner -nostats -i "$1" -f rawvideo -pix_fmt rgb24 -s 640x480 -r 15 -i - \
      -lavfi "[0:v]fps=15,format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr=shortest=1" -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.inf]*\).*/\1/p' | tail -1
}
line() { printf "  %-34s %7s s  %10d bytes  PSNR %s dB\n" "$1" "$2" "$(stat -c %s "$3")" "$(psnr "$3")"; }
ours() { printf "  %-34s %7s s  %10d bytes  PSNR %s dB\n" "$1" "$2" "$(stat -c %s "$3")" "$(psnr_ours "$3")"; }

echo "videos of $n screenshots 640x480, 4801 frames at 15 fps (whole process)"
t=$(seconds "$build/bin/quillora-export" "$work/p/project.qlv" "$work/q.mp4")
ours "quillora-export MP4 (cursor, sound)" "$t" "$work/q.mp4"
t=$(seconds ffmpeg -y -f concat -safe 0 -i "$list" -vf fps=15,format=yuv420p \
  -c:v libx264 -preset veryfast -crf 23 -movflags +faststart "$work/f.mp4")
line "ffmpeg MP4 (libx264 veryfast crf 23)" "$t" "$work/f.mp4"
t=$(seconds "$build/bin/quillora-export" "$work/p/project.qlv" "$work/q.gif")
ours "quillora-export GIF (cursor)" "$t" "$work/q.gif"
t=$(seconds ffmpeg -y -f concat -safe 0 -i "$list" -vf \
  "fps=15,split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse=diff_mode=rectangle" \
  "$work/f.gif")
line "ffmpeg GIF (palettegen/paletteuse)" "$t" "$work/f.gif"
t=$(seconds "$build/bin/quillora-export" "$work/p/project.qlv" "$work/q.webm")
ours "quillora-export WebM (cursor, sound)" "$t" "$work/q.webm"
t=$(seconds "$build/bin/quillora-export" "$work/p/project.qlv" "$work/q.swf")
printf "  %-34s %7s s  %10d bytes\n" "quillora-export SWF" "$t" "$(stat -c %s "$work/q.swf")"

bash "$(dirname "$0")/memory.sh" "$build"
bash "$(dirname "$0")/zoom.sh" "$build"
bash "$(dirname "$0")/formats.sh" "$build"
