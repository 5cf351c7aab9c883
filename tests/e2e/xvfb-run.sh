#!/bin/bash
# Runs one end-to-end test script on a private X server.
#
#   xvfb-run.sh SCRIPT [ARGS...]
#
# Starts Xvfb on a display it picks itself (-displayfd, so parallel tests
# never collide), waits until it answers, and runs SCRIPT with:
#   DISPLAY, QT_QPA_PLATFORM=xcb, a 0700 XDG_RUNTIME_DIR, a fresh HOME with
#   its own XDG config/data/documents folders, E2E_TMP (scratch folder),
#   E2E_ARTIFACTS (screenshots; kept after the run), E2E_OPEN_LOG (every
#   argument given to xdg-open, which a stub first in PATH writes there
#   instead of starting a program).
# The server and the temporary folders are removed however the script ends.
# The exit status is the script's.
set -u

if [ $# -lt 1 ]; then
    echo "usage: $0 SCRIPT [ARGS...]" >&2
    exit 2
fi
script=$1
shift

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillora-e2e.XXXXXX") || exit 1
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset \
    3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!

display=
for _ in $(seq 1 100); do
    if [ -s "$tmp/display" ]; then
        display=:$(head -n1 "$tmp/display" | tr -d '[:space:]')
        if xdpyinfo -display "$display" >/dev/null 2>&1; then
            break
        fi
    fi
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then
        echo "Xvfb did not start:" >&2
        cat "$tmp/xvfb.log" >&2
        exit 1
    fi
    sleep 0.1
done
if [ -z "$display" ] || ! xdpyinfo -display "$display" >/dev/null 2>&1; then
    echo "Xvfb did not answer" >&2
    exit 1
fi

export DISPLAY=$display
export QT_QPA_PLATFORM=xcb
export HOME=$tmp/home
export XDG_RUNTIME_DIR=$tmp/runtime
export XDG_CONFIG_HOME=$HOME/.config
export XDG_DATA_HOME=$HOME/.local/share
export XDG_CACHE_HOME=$HOME/.cache
export XDG_DOCUMENTS_DIR=$HOME/Documents
export E2E_TMP=$tmp/scratch
export E2E_ARTIFACTS=${E2E_ARTIFACTS:-$tmp/artifacts}
export E2E_OPEN_LOG=$tmp/xdg-open.log
mkdir -p "$HOME/Documents" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$E2E_TMP" "$E2E_ARTIFACTS" "$tmp/stubs"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
: >"$E2E_OPEN_LOG"

# The desktop's "open" goes to a log, not to a real program.
cat >"$tmp/stubs/xdg-open" <<STUB
#!/bin/sh
printf '%s\n' "\$*" >>"$E2E_OPEN_LOG"
STUB
chmod +x "$tmp/stubs/xdg-open"
export PATH=$tmp/stubs:$PATH
unset SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY

bash "$script" "$@"
