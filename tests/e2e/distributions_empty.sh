#!/usr/bin/env bash
# The listing verbs with nothing installed: no output of their own, one
# level-3 line each in the system log.
source "$(dirname "$0")/lib/e2e.bash"
set -e

run --list --list-long --active
expect_out "no bridges: only the argument echo" "$(args "$helper" --list --list-long --active)
$started"

listen_log "$root/log1.txt"
run --list --list-long --active
stop_listening
errors=$(grep -c '^<27>.*brennick.Helper\[[0-9]*\]: error NSPOSIXErrorDomain / 2 / No such file or directory' "$root/log1.txt" || true)
expect_eq "one level-3 line per listing verb" 3 "$errors"

# An empty folder gives no error object: the line shows placeholders.
mkdir -p "$root$LTD"
listen_log "$root/log2.txt"
run --list
stop_listening
expect_out "empty folder: nothing listed" "$(args "$helper" --list)
$started"
errors=$(grep -c '^<27>.*: error (null) / 0 / (null)' "$root/log2.txt" || true)
expect_eq "listing without an error logs placeholders" 1 "$errors"

finish
