#!/usr/bin/env bash
# Cost per capture on a 1920 x 1080 Xvfb screen, and the save of a long
# project; then the same on a headless Wayland session, from the stream.
set -euo pipefail
build=$(cd "${1:?usage: bench/capture/run.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
exe="$build/bin/capture_bench"
[ -x "$exe" ] || { echo "capture_bench not built (needs the Qt program): skipped"; exit 0; }
if command -v Xvfb >/dev/null; then
    display=":$((200 + $$ % 300))"
    Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    server=$!
    for _ in $(seq 100); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.05; done
    runtime=$(mktemp -d)
    chmod 700 "$runtime"
    DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$runtime "$exe" "${CAPTURES:-100}" || true
    kill $server 2>/dev/null; wait $server 2>/dev/null || true
    rm -rf "$runtime"
else
    echo "no Xvfb: X11 skipped"
fi
session="$here/../../tests/e2e/wayland/session.sh"
if command -v sway >/dev/null && command -v /usr/libexec/xdg-desktop-portal-wlr >/dev/null; then
    # The bench's temporary folders must be readable by the compositor's user.
    export TMPDIR
    TMPDIR=$(mktemp -d)
    chmod 755 "$TMPDIR"
    "$session" run -- env -u DISPLAY "$exe" "${CAPTURES:-100}" 2>/dev/null || true
    rm -rf "$TMPDIR"
else
    echo "no sway and wlroots portal: Wayland skipped"
fi
