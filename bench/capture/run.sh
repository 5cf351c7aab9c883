#!/usr/bin/env bash
# Cost per capture on a 1920 x 1080 Xvfb screen, and the save of a long project.
set -euo pipefail
build=$(cd "${1:?usage: bench/capture/run.sh BUILD_DIR}" && pwd)
exe="$build/bin/capture_bench"
[ -x "$exe" ] || { echo "capture_bench not built (needs the Qt program): skipped"; exit 0; }
command -v Xvfb >/dev/null || { echo "no Xvfb: skipped"; exit 0; }
display=":$((200 + $$ % 300))"
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 100); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.05; done
runtime=$(mktemp -d)
chmod 700 "$runtime"
DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$runtime "$exe" "${CAPTURES:-100}"
rm -rf "$runtime"
