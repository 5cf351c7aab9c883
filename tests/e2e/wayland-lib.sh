# The opening both Wayland end-to-end tests share: the tools checked (the
# caller may name more in WAYLAND_E2E_TOOLS), a headless sway session with
# its portal started and stopped by pid, a private home, one keyboard for
# the whole test, and the helpers to wait for windows and read pixels.
# Sourced; a caller's cleanup_more, if defined, runs before the session
# stops.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
session="$here/wayland/session.sh"
PY=/usr/bin/python3

for tool in sway swaymsg grim wtype pipewire wireplumber dbus-daemon setpriv cc convert compare ${WAYLAND_E2E_TOOLS:-} \
    /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-wlr; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
if [ "$(id -u)" -eq 0 ] && ! id nobody >/dev/null 2>&1; then
    echo "SKIP: no user nobody to run sway as"; exit 77
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillora-wl-e2e.XXXXXX") || exit 1
chmod 755 "$tmp"
artifacts=${E2E_ARTIFACTS:-$tmp/artifacts}
mkdir -p "$artifacts"
pid= kb=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    [ -n "$kb" ] && kill "$kb" 2>/dev/null && wait "$kb" 2>/dev/null
    declare -F cleanup_more >/dev/null && cleanup_more
    "$session" stop "$tmp/session" >/dev/null 2>&1
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    grim "$artifacts/failure.png" 2>/dev/null
    cp "$shots"/*.jpg "$artifacts/" 2>/dev/null
    [ -f "$tmp/quillora.log" ] && tail -n 20 "$tmp/quillora.log" >&2
    exit 1
}

# The frame and the stand-in float above everything; the frame never takes
# the focus from the program being recorded.
cat >"$tmp/sway-extra.conf" <<'CONF'
default_floating_border none
no_focus [title="^Quillora frame$"]
CONF
env_lines=$("$session" start --dir "$tmp/session" --sway-config "$tmp/sway-extra.conf" 2>"$tmp/session.log") ||
    { cat "$tmp/session.log" >&2; fail "the Wayland session did not start"; }
eval "$env_lines"
unset DISPLAY
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share"
mkdir -p "$HOME/Documents"
shots="$HOME/Documents/Quillora/screenshots"
work="$shots/Untitled.qlv"

# Qt loses a keyboard that goes away (each wtype brings its own), so one
# stays for the whole test.
wtype -s 600000 &
kb=$!

# wait_for SECONDS COMMAND...: polls every 0.1 s.
wait_for() {
    local end=$((SECONDS + $1)); shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -le $end ] || return 1
        sleep 0.1
    done
}
. "$here/exit-lib.sh"
has_window() { swaymsg -t get_tree | grep -q "\"name\": \"$1\""; }
no_window() { ! has_window "$1"; }
key() { wtype "$@"; sleep 0.2; }
objects() {
    $PY - "$work" <<'PY'
import sys, xml.etree.ElementTree as ET
try:
    print(len(ET.parse(sys.argv[1]).getroot().findall("Obj")))
except Exception:
    print(-1)
PY
}
objects_are() { [ "$(objects)" = "$1" ]; }
pixel() { grim -g "$1,$2 1x1" - | convert - -depth 8 -format "%[hex:p{0,0}]" info:; }
pixel_is() { [ "$(pixel "$1" "$2")" = "$3" ]; }
