#!/usr/bin/env bash
# Passes only when a command ends with exactly the given exit status.
#   exit_status_is.sh STATUS COMMAND [ARGS...]
expected=$1
shift
"$@"
status=$?
[[ $status -eq $expected ]] && exit 0
echo "exit status $status, not $expected" >&2
exit 1
