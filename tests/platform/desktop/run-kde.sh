#!/bin/bash
# Runs a test program in a headless KDE Plasma session (KWin 5.27 --virtual,
# xdg-desktop-portal-kde, PipeWire, private buses), started and stopped here
# by pid. Skips (77) when the KDE packages are missing.
#   run-kde.sh PROGRAM ARGS...
set -u
here=$(cd "$(dirname "$0")" && pwd)
tools="$here/../../e2e/desktop"
for tool in kwin_wayland pipewire wireplumber dbus-daemon wayland-scanner cc gdbus \
    /usr/libexec/xdg-desktop-portal /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde \
    /usr/share/plasma-wayland-protocols/fake-input.xml; do
    command -v "$tool" >/dev/null 2>&1 || [ -e "$tool" ] || { echo "SKIP: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi, dbus, gi' 2>/dev/null || { echo "SKIP: python3-pyatspi missing"; exit 77; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillora-kde.XXXXXX") || exit 1
cleanup() {
    "$tools/session.sh" stop "$tmp/session" >/dev/null 2>&1
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
start=$SECONDS
env_lines=$("$tools/session.sh" start --dir "$tmp/session" --compositor kwin 2>"$tmp/session.log") ||
    { cat "$tmp/session.log" >&2; echo "the KDE session did not start"; exit 1; }
eval "$env_lines"
echo "KDE session up in $((SECONDS - start)) s"
export DESKTOP_TOOLS="$tools" HOME="$DESKTOP_TEST_SESSION/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
"$@"
rc=$?
[ $rc -eq 0 ] || tail -n 30 "$tmp/session/log/"act-*.log >&2
echo "the KDE test took $((SECONDS - start)) s"
exit $rc
