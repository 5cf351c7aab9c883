# exited_with_0: after File > Exit, waits up to 20 s for the program ($pid)
# to end, and fails if it does not or if its exit status is not 0.
# Sourced by the session libraries, which give wait_for and fail.
exited_with_0() {
    local status=0
    if wait_for 20 sh -c "! kill -0 $pid"; then
        wait "$pid"; status=$?
    else
        fail "File > Exit did not end the program"
    fi
    pid=
    echo "File > Exit: status $status"
    [ "$status" = 0 ] || fail "File > Exit: status $status"
}
