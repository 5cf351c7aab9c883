#!/usr/bin/env bash
# Each video format of quillora-export beside the ffmpeg command line making
# the same video from the same JPEGs in the same run (concat list, 1.6 s
# each, 15 fps; no cursor, no sound): MP4 against libx264 veryfast crf 23,
# GIF against palettegen/paletteuse, WebM against libvpx-vp9 realtime
# (cpu-used 8, crf 32; ours is one step slower), and beside it ffmpeg's
# bytes at our PSNR, between its crf 32 and 38. On
# recorded projects of 200 screenshots at 640 x 480: the benchmark's own
# desktops and the denser ones. Whole process, best of $VIDEO_BENCH_RUNS (1)
# by wall time; prints wall and CPU seconds, file and video-stream bytes and
# the PSNR of the frames against what each encoder was given (the
# screenshots for ffmpeg, the renderer's own lossless frames with the arrow
# for Quillora), and our figures as ratios to ffmpeg's.
set -euo pipefail
build=$(cd "${1:?usage: bench/video/formats.sh BUILD_DIR}" && pwd)
n=${VIDEO_BENCH_N:-200}
runs=${VIDEO_BENCH_RUNS:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed"; exit 1; }

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
vbytes() { # bytes of the video stream's packets
  ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$1" | awk '{ s += $1 } END { print s + 0 }'
}
psnr() { # average PSNR of a video's frames against the screenshots
  ffmpeg -hide_banner -nostats -i "$1" -f concat -safe 0 -i "$list" \
    -lavfi "[0:v]fps=15,format=rgb24[a];[1:v]fps=15,format=rgb24[b];[a][b]psnr=shortest=1" -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.inf]*\).*/\1/p' | tail -1
}
psnr_ours() { # the same against the renderer's frames, piped in raw
  "$build/bin/video_bench_render" "$project" 2>/dev/null |
    ffmpeg -hide_banner -nostats -i "$1" -f rawvideo -pix_fmt rgb24 -s 640x480 -r 15 -i - \
      -lavfi "[0:v]fps=15,format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr=shortest=1" -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.inf]*\).*/\1/p' | tail -1
}
row() { # label "wall cpu" file psnr
  read -r wall cpu <<<"$2"
  printf "  %-28s %6s s wall %6s s CPU %10d bytes (video %9d)  PSNR %6s dB\n" "$1" "$wall" "$cpu" \
    "$(stat -c %s "$3")" "$(vbytes "$3")" "$4"
}
ratio() { # label ours_time ffmpeg_time ours_file ffmpeg_file
  awk -v l="$1" -v a="${2%% *}" -v b="${3%% *}" -v ca="${2##* }" -v cb="${3##* }" \
    -v x="$(stat -c %s "$4")" -v y="$(stat -c %s "$5")" -v vx="$(vbytes "$4")" -v vy="$(vbytes "$5")" \
    'BEGIN { printf "  %-28s %.2fx the wall, %.2fx the CPU, %.2fx the bytes (video stream %.2fx)\n", l, a / b, ca / cb, x / y, vx / vy }'
}

for style in plain dense; do
  p=$work/$style
  project=$p/project.qlv
  jpeg=$("$build/bin/export_bench_project" "$p" "$n" 640 480 $([ $style = dense ] && echo dense))
  list=$p/list.txt
  for f in "$p"/shots/*.jpg; do printf "file '%s'\nduration 1.6\n" "$f"; done >"$list"
  printf "file '%s'\n" "$(ls "$p"/shots/*.jpg | tail -1)" >>"$list"
  echo "$n $style screenshots 640x480 ($jpeg bytes of JPEG), $((24 * n + 1)) frames at 15 fps (whole process, best of $runs)"

  tf=$(timed ffmpeg -y -f concat -safe 0 -i "$list" -vf fps=15,format=yuv420p \
    -c:v libx264 -preset veryfast -crf 23 -movflags +faststart "$p/f.mp4")
  row "ffmpeg MP4" "$tf" "$p/f.mp4" "$(psnr "$p/f.mp4")"
  tq=$(timed "$build/bin/quillora-export" "$project" "$p/q.mp4")
  row "quillora MP4 (cursor, sound)" "$tq" "$p/q.mp4" "$(psnr_ours "$p/q.mp4")"
  ratio "MP4" "$tq" "$tf" "$p/q.mp4" "$p/f.mp4"

  tf=$(timed ffmpeg -y -f concat -safe 0 -i "$list" -vf fps=15,format=yuv420p \
    -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -row-mt 1 -crf 32 -b:v 0 "$p/f.webm")
  fpsnr=$(psnr "$p/f.webm")
  row "ffmpeg WebM" "$tf" "$p/f.webm" "$fpsnr"
  tq=$(timed "$build/bin/quillora-export" "$project" "$p/q.webm")
  qpsnr=$(psnr_ours "$p/q.webm")
  row "quillora WebM (cursor, sound)" "$tq" "$p/q.webm" "$qpsnr"
  ratio "WebM" "$tq" "$tf" "$p/q.webm" "$p/f.webm"
  # The same quality: ffmpeg's video bytes at our PSNR, on the line through
  # its crf 32 and crf 38 (the crf changes the PSNR, not how good the
  # encoder is).
  ffmpeg -v error -y -f concat -safe 0 -i "$list" -vf fps=15,format=yuv420p \
    -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -row-mt 1 -crf 38 -b:v 0 "$p/f38.webm"
  awk -v q="$qpsnr" -v a="$fpsnr" -v b="$(psnr "$p/f38.webm")" -v x="$(vbytes "$p/f.webm")" \
    -v y="$(vbytes "$p/f38.webm")" -v o="$(vbytes "$p/q.webm")" 'BEGIN {
      at = y + (q - b) / (a - b) * (x - y)
      printf "  %-28s %.2fx the video bytes of ffmpeg'"'"'s at our %.2f dB (its crf 38: %.2f dB)\n", "WebM, same quality", o / at, q, b }'

  tf=$(timed ffmpeg -y -f concat -safe 0 -i "$list" -vf \
    "fps=15,split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse=diff_mode=rectangle" \
    "$p/f.gif")
  row "ffmpeg GIF" "$tf" "$p/f.gif" "$(psnr "$p/f.gif")"
  tq=$(timed "$build/bin/quillora-export" "$project" "$p/q.gif")
  row "quillora GIF (cursor)" "$tq" "$p/q.gif" "$(psnr_ours "$p/q.gif")"
  ratio "GIF" "$tq" "$tf" "$p/q.gif" "$p/f.gif"
  rm -rf "$p"
done
