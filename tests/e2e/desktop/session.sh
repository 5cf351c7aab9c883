#!/usr/bin/env bash
# A headless GNOME or KDE Plasma Wayland session for the end-to-end tests:
# gnome-shell (or mutter) --headless with one virtual monitor, or
# kwin_wayland --virtual; a private D-Bus session bus whose only activatable
# services are listed here, a private empty system bus, PipeWire and
# WirePlumber, xdg-desktop-portal with the desktop's own back end, and the
# AT-SPI bus (the portal's chooser is passed over it).
#
#   session.sh start [--dir DIR] [--size WxH] [--compositor gnome-shell|mutter|kwin] [--no-prime]
#        prints 'export NAME=VALUE' lines on stdout (eval them); timings on stderr
#   session.sh env DIR                      the same export lines again
#   session.sh stop DIR                     stops what start started, by pid
#
# DIR/home is the session's HOME: the portal's permission store (restore
# tokens) lives in DIR/home/.local/share/flatpak/db. Every process carries
# DESKTOP_TEST_SESSION=DIR in its environment; stop kills the recorded pids
# (newest first), then any process whose environment holds exactly that
# value (D-Bus activated services are re-parented to pid 1), each by pid.
# For KWin, DIR/bin/kwin_fakeinput is built: KWin's fake input client.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
TIMEOUT="${DESKTOP_SESSION_TIMEOUT:-60}"
WL_NAME=wayland-desktop
DESK=GNOME

say() { printf 'session.sh: %s\n' "$*" >&2; }
die() { say "ERROR: $*"; exit 1; }
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN{printf "%.2f", b-a}'; }
wait_for() {
    local end=$(( $(date +%s) + TIMEOUT ))
    until "$@" >/dev/null 2>&1; do
        [ "$(date +%s)" -lt "$end" ] || return 1
        sleep 0.05
    done
}
alive() {
    local st
    st=$(sed -n 's/^[0-9]* (.*) \([A-Za-z]\) .*/\1/p' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$st" ] && [ "$st" != Z ] && [ "$st" != X ]
}

spawn() {  # spawn NAME -- CMD ARGS… (environment: COMMON)
    local name="$1"; shift; shift
    local n; n=$(ls "$DIR/pids" | wc -l)
    env -i "${COMMON[@]}" setsid "$@" </dev/null >"$DIR/log/$name.log" 2>&1 &
    local pid=$!
    printf '%s\n' "$pid" >"$DIR/pids/$(printf '%02d' "$n")-$name.pid"
    eval "PID_${name//-/_}=$pid"
}

has_name() {
    env -i "${COMMON[@]}" gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
        -m org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}

session_env() {
    cat <<EOF
export DESKTOP_TEST_SESSION='$DIR'
export XDG_RUNTIME_DIR='$DIR/run'
export WAYLAND_DISPLAY='$WL_NAME'
export DBUS_SESSION_BUS_ADDRESS='unix:path=$DIR/run/bus'
export XDG_CURRENT_DESKTOP='$DESK'
export XDG_SESSION_TYPE='wayland'
export DBUS_SYSTEM_BUS_ADDRESS='unix:path=$DIR/run/system_bus_socket'
export QT_QPA_PLATFORM='wayland'
EOF
}

write_service() {  # write_service BUSNAME EXEC… : an activatable service that records its pid
    local name="$1"; shift
    cat >"$DIR/dbus-services/$name.service" <<EOF
[D-BUS Service]
Name=$name
Exec=$DIR/activate.sh $name $*
EOF
}

cmd_start() {
    local size="1280x720" comp="" prime=1
    DIR=""
    while [ $# -gt 0 ]; do
        case "$1" in
            --dir) DIR="$2"; shift 2 ;;
            --size) size="$2"; shift 2 ;;
            --compositor) comp="$2"; shift 2 ;;
            --no-prime) prime=0; shift ;;
            *) die "unknown option $1" ;;
        esac
    done
    [[ "$size" =~ ^[0-9]+x[0-9]+$ ]] || die "bad --size $size"
    [ -n "$comp" ] || comp=gnome-shell
    case "$comp" in gnome-shell|mutter|kwin) ;; *) die "--compositor gnome-shell|mutter|kwin" ;; esac
    local desk=GNOME portal=gnome
    [ "$comp" != kwin ] || { desk=KDE; portal=kde; }
    if [ "$comp" = kwin ]; then command -v kwin_wayland >/dev/null || die "kwin_wayland missing"
    else command -v "$comp" >/dev/null || die "$comp missing"; fi
    local t0; t0=$(now)
    if [ -z "$DIR" ]; then DIR=$(mktemp -d "${TMPDIR:-/tmp}/desktop-session-XXXXXX"); else mkdir -p "$DIR"; fi
    DIR="$(cd "$DIR" && pwd)"
    [ ! -e "$DIR/pids" ] || [ -z "$(ls -A "$DIR/pids")" ] || die "$DIR already holds a session (stop it first)"
    rm -rf "$DIR/run" "$DIR/log"
    mkdir -p "$DIR/pids" "$DIR/log" "$DIR/config" "$DIR/portals" "$DIR/dbus-services" "$DIR/home"
    mkdir -m 700 -p "$DIR/run"
    cp "/usr/share/xdg-desktop-portal/portals/$portal.portal" "$DIR/portals/"

    COMMON=(DESKTOP_TEST_SESSION="$DIR" PATH="/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin"
            LANG=C.UTF-8 HOME="$DIR/home" USER="$(id -un)" LOGNAME="$(id -un)"
            XDG_RUNTIME_DIR="$DIR/run" DBUS_SESSION_BUS_ADDRESS="unix:path=$DIR/run/bus"
            XDG_CURRENT_DESKTOP=$desk XDG_SESSION_DESKTOP=${desk,,} XDG_SESSION_TYPE=wayland
            QT_QPA_PLATFORM=wayland KDE_FULL_SESSION=$([ "$desk" = KDE ] && echo true || echo false)
            WAYLAND_DISPLAY="$WL_NAME" XDG_DESKTOP_PORTAL_DIR="$DIR/portals"
            XDG_CONFIG_HOME="$DIR/home/.config" XDG_DATA_HOME="$DIR/home/.local/share"
            XDG_STATE_HOME="$DIR/home/.local/state" XDG_CACHE_HOME="$DIR/home/.cache"
            DBUS_SYSTEM_BUS_ADDRESS="unix:path=$DIR/run/system_bus_socket"
            GTK_A11Y=atspi NO_AT_BRIDGE=0 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
)

    # private session bus whose only activatable services are ours (each records its pid)
    cat >"$DIR/activate.sh" <<EOF
#!/bin/sh
name="\$1"; shift
echo \$\$ >"$DIR/pids/act-\$name.pid"
exec "\$@" >>"$DIR/log/act-\$name.log" 2>&1
EOF
    chmod 755 "$DIR/activate.sh"
    write_service ca.desrt.dconf /usr/libexec/dconf-service
    write_service org.freedesktop.impl.portal.PermissionStore /usr/libexec/xdg-permission-store
    write_service org.a11y.Bus /usr/libexec/at-spi-bus-launcher
    write_service org.freedesktop.impl.portal.desktop.gnome /usr/libexec/xdg-desktop-portal-gnome
    write_service org.freedesktop.impl.portal.desktop.kde /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
    write_service org.freedesktop.portal.Desktop /usr/libexec/xdg-desktop-portal
    cat >"$DIR/config/dbus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:path=$DIR/run/bus</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$DIR/dbus-services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
  <limit name="max_incoming_bytes">1000000000</limit>
  <limit name="max_outgoing_bytes">1000000000</limit>
  <limit name="max_message_size">1000000000</limit>
  <limit name="service_start_timeout">120000</limit>
  <limit name="reply_timeout">2147483647</limit>
</busconfig>
EOF
    # a private, empty "system" bus: gnome-shell sees /run/systemd/seats, takes logind for
    # present and aborts when it cannot reach any system bus; an empty one is enough
    sed -e 's|<type>session</type>|<type>system</type>|' -e "s|$DIR/run/bus|$DIR/run/system_bus_socket|" \
        -e '/<servicedir>/d' "$DIR/config/dbus.conf" >"$DIR/config/system-bus.conf"
    local t; t=$(now)
    spawn system-bus -- dbus-daemon --nofork --config-file="$DIR/config/system-bus.conf"
    spawn dbus -- dbus-daemon --nofork --config-file="$DIR/config/dbus.conf"
    wait_for test -S "$DIR/run/bus" || { cmd_stop_dir; die "dbus-daemon did not start"; }
    wait_for test -S "$DIR/run/system_bus_socket" || { cmd_stop_dir; die "system dbus-daemon did not start"; }
    say "dbus-daemon up in $(since "$t")s"

    t=$(now)
    spawn pipewire -- pipewire
    wait_for test -S "$DIR/run/pipewire-0" || { cmd_stop_dir; die "pipewire did not start (log: $DIR/log/pipewire.log)"; }
    spawn wireplumber -- wireplumber
    wp_ok() { alive "$PID_wireplumber" && env -i "${COMMON[@]}" pw-cli ls Client 2>/dev/null | grep -q 'application.name = "WirePlumber"'; }
    wait_for wp_ok || { cmd_stop_dir; die "wireplumber did not connect (log: $DIR/log/wireplumber.log)"; }
    say "pipewire + wireplumber up in $(since "$t")s"

    t=$(now)
    if [ "$comp" = kwin ]; then
        # the packaged binary carries cap_sys_resource=ep, which exec cannot grant here: run a copy
        cp /usr/bin/kwin_wayland "$DIR/kwin_wayland"
        # KWin exposes org_kde_kwin_fake_input only to executables named by a .desktop file's
        # X-KDE-Wayland-Interfaces (found through ksycoca, rebuilt on demand)
        mkdir -p "$DIR/home/.local/share/applications" "$DIR/bin"
        local proto=/usr/share/plasma-wayland-protocols/fake-input.xml
        [ -f "$proto" ] || { cmd_stop_dir; die "plasma-wayland-protocols missing"; }
        wayland-scanner client-header "$proto" "$DIR/bin/fake-input-client.h"
        wayland-scanner private-code "$proto" "$DIR/bin/fake-input.c"
        cc -O2 -Wall -I "$DIR/bin" -o "$DIR/bin/kwin_fakeinput" "$HERE/kwin_fakeinput.c" \
            "$DIR/bin/fake-input.c" -lwayland-client || { cmd_stop_dir; die "cannot build kwin_fakeinput"; }
        cat >"$DIR/home/.local/share/applications/test-fakeinput.desktop" <<EOF2
[Desktop Entry]
Type=Application
Name=test fake input
Exec=$DIR/bin/kwin_fakeinput
NoDisplay=true
X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input
EOF2
        spawn compositor -- "$DIR/kwin_wayland" --virtual --width "${size%x*}" --height "${size#*x}" --socket "$WL_NAME" --no-lockscreen
        comp_ok() { alive "$PID_compositor" || return 2; test -S "$DIR/run/$WL_NAME" && has_name org.kde.KWin && has_name org.kde.kglobalaccel; }
    else
        spawn compositor -- "$comp" --headless --wayland --no-x11 --wayland-display "$WL_NAME" --virtual-monitor "$size"
        comp_ok() { alive "$PID_compositor" || return 2; test -S "$DIR/run/$WL_NAME" && has_name org.gnome.Mutter.ScreenCast && has_name org.gnome.Mutter.RemoteDesktop; }
    fi
    wait_for comp_ok || { cmd_stop_dir; die "$comp did not start (log: $DIR/log/compositor.log)"; }
    if [ "$comp" = gnome-shell ]; then
        wait_for has_name org.gnome.Shell || { cmd_stop_dir; die "gnome-shell has no org.gnome.Shell (log: $DIR/log/compositor.log)"; }
    fi
    say "$comp up ($WL_NAME, ${size}) in $(since "$t")s"

    # portals: D-Bus activation only (a spawned copy races with activation requests from
    # gnome-shell and xdg-desktop-portal-gnome); activate.sh records their pids
    t=$(now)
    sc_ok() { env -i "${COMMON[@]}" gdbus call --session -d org.freedesktop.portal.Desktop -o /org/freedesktop/portal/desktop \
                -m org.freedesktop.DBus.Properties.Get org.freedesktop.portal.ScreenCast AvailableCursorModes 2>/dev/null | grep -q uint32; }
    wait_for sc_ok || { cmd_stop_dir; die "xdg-desktop-portal has no ScreenCast (logs: $DIR/log/act-*.log)"; }
    say "xdg-desktop-portal + -$portal (ScreenCast) up in $(since "$t")s"

    # close gnome-shell's start-up overview (Escape) and move the pointer once: before the
    # first motion the cursor is hidden and the first cast's cursor metadata has an empty
    # bitmap; a key press hides it again until the next motion
    if [ "$prime" = 1 ] && [ "$comp" != kwin ]; then
        env -i "${COMMON[@]}" /usr/bin/python3 "$HERE/mutter_pointer.py" --relative --interval 0.1 --key 0xff1b 1,1 >"$DIR/log/prime.log" 2>&1 \
            || say "WARNING: priming the pointer failed (log: $DIR/log/prime.log)"
    fi

    DESK=$desk session_env >"$DIR/env"
    say "session ready in $(since "$t0")s; stop with: $0 stop $DIR"
    cat "$DIR/env"
}

marked_pids() {  # processes whose environment carries DESKTOP_TEST_SESSION=DIR
    local p
    for p in /proc/[0-9]*; do
        p=${p#/proc/}
        [ "$p" != $$ ] || continue
        tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qxF "DESKTOP_TEST_SESSION=$DIR" && echo "$p"
    done
    return 0
}

kill_pid() {
    local pid="$1" what="$2"
    alive "$pid" || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 60); do alive "$pid" || return 0; sleep 0.05; done
    say "pid $pid ($what) ignored SIGTERM for 3 s: SIGKILL"
    kill -KILL "$pid" 2>/dev/null || true
}

cmd_stop_dir() {
    [ -d "$DIR/pids" ] || return 0
    local f pid
    # activated services first, then the spawned ones newest first (the bus last)
    for f in $(ls -r "$DIR/pids" | grep '^act-' || true) $(ls -r "$DIR/pids" | grep -v '^act-' || true); do
        pid=$(cat "$DIR/pids/$f" 2>/dev/null) || continue
        kill_pid "$pid" "$f"
    done
    for _ in 1 2; do
        for pid in $(marked_pids); do kill_pid "$pid" "marked"; done
    done
    rm -f "$DIR"/pids/*.pid
}

cmd_stop() {
    DIR="${1:-${DESKTOP_TEST_SESSION:-}}"
    [ -n "$DIR" ] && [ -d "$DIR" ] || die "usage: $0 stop DIR"
    DIR="$(cd "$DIR" && pwd)"
    cmd_stop_dir
    say "stopped session in $DIR"
}

case "${1:-}" in
    start) shift; cmd_start "$@" ;;
    stop) shift; cmd_stop "$@" ;;
    env) shift; DIR="${1:-${DESKTOP_TEST_SESSION:-}}"; [ -f "$DIR/env" ] || die "no session in '$DIR'"; cat "$DIR/env" ;;
    *) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
