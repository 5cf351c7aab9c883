# wait_file_exit: after File > Exit, waits up to 20 s for the program ($pid)
# to end, fails if it does not, and puts its exit status in $status.
# Sourced by the session libraries, which give wait_for and fail.
wait_file_exit() {
    status=0
    if wait_for 20 sh -c "! kill -0 $pid"; then
        wait "$pid"; status=$?
    else
        fail "File > Exit did not end the program"
    fi
    pid=
    echo "File > Exit: status $status"
}

# exited_with_0: wait_file_exit, and fails unless the status is 0.
exited_with_0() {
    wait_file_exit
    [ "$status" = 0 ] || fail "File > Exit: status $status"
}
