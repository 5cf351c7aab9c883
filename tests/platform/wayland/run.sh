#!/bin/bash
# Runs a test program against a private session bus, PipeWire with
# WirePlumber, and the stand-in ScreenCast portal beside this script; all
# started here and stopped by pid. Skips (77) when a package is missing.
#   run.sh PROGRAM ARGS...
set -u
here=$(cd "$(dirname "$0")" && pwd)
for tool in dbus-daemon pipewire wireplumber pw-cli dbus-send; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || { echo "SKIP: python3-dbus or python3-gi missing"; exit 77; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillora-pw.XXXXXX") || exit 1
pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[$i]}" 2>/dev/null && wait "${pids[$i]}" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
wait_for() {
    local end=$((SECONDS + 20))
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -le $end ] || return 1
        sleep 0.05
    done
}

mkdir -m 700 "$tmp/run"
mkdir -p "$tmp/home"
export XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" \
    XDG_STATE_HOME="$tmp/home/.local/state" XDG_DATA_HOME="$tmp/home/.local/share" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$tmp/run/bus" STANDIN_DIR="$tmp"
unset WAYLAND_DISPLAY DISPLAY
dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >"$tmp/dbus.log" 2>&1 &
pids+=($!)
wait_for test -S "$tmp/run/bus" || { echo "dbus-daemon did not start"; exit 1; }
pipewire >"$tmp/pipewire.log" 2>&1 &
pids+=($!)
wait_for test -S "$tmp/run/pipewire-0" || { echo "pipewire did not start"; exit 1; }
wireplumber >"$tmp/wireplumber.log" 2>&1 &
pids+=($!)
wp_up() { pw-cli ls Client | grep -q 'application.name = "WirePlumber"'; }
wait_for wp_up || { echo "wireplumber did not connect"; cat "$tmp/wireplumber.log"; exit 1; }
/usr/bin/python3 "$here/standin-portal.py" >"$tmp/portal.log" 2>&1 &
pids+=($!)
portal_up() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.portal.Desktop | grep -q true
}
wait_for portal_up || { echo "the stand-in portal did not start"; cat "$tmp/portal.log"; exit 1; }
"$@"
rc=$?
[ $rc -eq 0 ] || cat "$tmp/portal.log" >&2
exit $rc
