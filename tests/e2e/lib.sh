# Helpers for end-to-end scripts run by xvfb-run.sh.

fail() {
    echo "FAIL: $*" >&2
    shot "failure"
    # What the program said, kept with the screenshot: the temporary
    # folder goes when the test ends.
    if [ -n "${E2E_TMP:-}" ] && [ -s "$E2E_TMP/quillora.log" ]; then
        cp "$E2E_TMP/quillora.log" "$E2E_ARTIFACTS/quillora.log" 2>/dev/null || true
        echo "--- the program's output (last 30 lines):" >&2
        tail -n 30 "$E2E_TMP/quillora.log" >&2
    fi
    exit 1
}

# shot NAME: screenshot of the whole screen into $E2E_ARTIFACTS/NAME.png
shot() {
    import -window root "$E2E_ARTIFACTS/$1.png" 2>/dev/null || true
}

# wait_window TIMEOUT_S XDOTOOL_SEARCH_ARGS...: prints the first visible
# window that matches, or fails after the timeout.
wait_window() {
    local timeout=$1
    shift
    local end=$((SECONDS + timeout)) ids
    while [ $SECONDS -le $end ]; do
        ids=$(xdotool search --onlyvisible "$@" 2>/dev/null | head -n1)
        if [ -n "$ids" ]; then
            echo "$ids"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# wait_gone TIMEOUT_S XDOTOOL_SEARCH_ARGS...: succeeds once no visible
# window matches.
wait_gone() {
    local timeout=$1
    shift
    local end=$((SECONDS + timeout))
    while [ $SECONDS -le $end ]; do
        if [ -z "$(xdotool search --onlyvisible "$@" 2>/dev/null)" ]; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# wait_exit TIMEOUT_S PID: waits for a child to end; its status in $?.
wait_exit() {
    local timeout=$1 pid=$2
    local end=$((SECONDS + timeout))
    while kill -0 "$pid" 2>/dev/null; do
        if [ $SECONDS -gt $end ]; then
            kill "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
            return 124
        fi
        sleep 0.1
    done
    wait "$pid"
}

# start_session_bus: a private session bus for this test, as every desktop
# has one; stopped when the script ends.
start_session_bus() {
    dbus-daemon --session --fork --print-address=3 --print-pid=4 \
        3>"$E2E_TMP/bus.address" 4>"$E2E_TMP/bus.pid" || fail "no session bus"
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$E2E_TMP/bus.address")
    export DBUS_SESSION_BUS_ADDRESS
    bus_pid=$(head -n1 "$E2E_TMP/bus.pid")
    trap 'kill "$bus_pid" 2>/dev/null' EXIT
}

# wait_bus_name TIMEOUT_S NAME: until NAME has an owner on the session bus.
wait_bus_name() {
    local end=$((SECONDS + $1))
    until dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner "string:$2" 2>/dev/null | grep -q 'boolean true'; do
        [ $SECONDS -le $end ] || return 1
        sleep 0.1
    done
}
