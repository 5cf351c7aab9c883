# What the GNOME end-to-end tests share: the tools checked, a temporary
# folder and its cleanup (the program, the test's scene window and the
# session, all by pid), grabs through mutter's own screen cast, and the
# helpers to wait, drive the desktop and read windows and pixels. Sourced;
# each test starts its own session, as their monitors differ.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
desk="$here/desktop"
session="$desk/session.sh"
PY=/usr/bin/python3

for tool in gnome-shell pipewire wireplumber dbus-daemon gst-launch-1.0 convert compare gdbus \
    /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-gnome \
    /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
$PY -c 'import pyatspi, dbus, gi, cairo; gi.require_version("Gtk", "3.0"); from gi.repository import Gtk' \
    2>/dev/null || { echo "SKIP: python3-pyatspi, -dbus, -gi or -gi-cairo missing"; exit 77; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillora-gnome-e2e.XXXXXX") || exit 1
artifacts=${E2E_ARTIFACTS:-$tmp/artifacts}
mkdir -p "$artifacts"
pid= scene= shots=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    [ -n "$scene" ] && kill "$scene" 2>/dev/null && wait "$scene" 2>/dev/null
    "$session" stop "$tmp/session" >/dev/null 2>&1
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

grab() { $PY "$desk/gnome_grab.py" "$1"; }
fail() {
    echo "FAIL: $*" >&2
    grab "$artifacts/failure.png" 2>/dev/null
    [ -n "$shots" ] && cp "$shots"/*.jpg "$artifacts/" 2>/dev/null
    [ -f "$tmp/quillora.log" ] && tail -n 20 "$tmp/quillora.log" >&2
    exit 1
}

# wait_for SECONDS COMMAND...: polls every 0.1 s.
wait_for() {
    local end=$((SECONDS + $1)); shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -le $end ] || return 1
        sleep 0.1
    done
}
. "$here/exit-lib.sh"
input() { $PY "$desk/gnome_input.py" "$@" || fail "gnome_input.py $*"; }
atspi() { $PY "$desk/atspi_app.py" "$@"; }
has_window() { atspi windows quillora | grep -qxF "$1"; }
no_window() { ! has_window "$1"; }
# pixel FILE X Y: the colour there as RRGGBB.
pixel() { convert "$1" -alpha off -depth 8 -format "%[hex:p{$2,$3}]" info:; }
