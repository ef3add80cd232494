#!/usr/bin/env bash
# Unprivileged peers that try to deny the service to others or to forge its
# log: each attack is refused and everybody else is still answered at once.
source "$(dirname "$0")/lib/e2e.bash"
make_layout
start_service
mallory=4242 eve=4343
as() { local uid=$1; shift; setpriv --reuid="$uid" --regid="$uid" --clear-groups "$@"; }
quick_version() {  # another user's and root's version requests are answered
  as_user=$eve
  expect "$1" 0 "271" -- version
  as_user=""
  timeout 3 "$client" version >/dev/null || fail "$1: root had no answer within 3 s"
}

# One user holds every connection it may, each with a started frame that
# announces 1 MiB: it keeps sixteen, the rest are refused; the frames cost
# only what arrived, and they are dropped when their time is up.
rss() { awk '/VmRSS/ { print $2 }' "/proc/$service_pid/status"; }
before=$(rss)
as "$mallory" "$wire" "$socket" hold 40 11 >"$work/hold" &
holder=$!
for _ in $(seq 50); do [[ -s $work/hold ]] && break; sleep 0.1; done
[[ $(head -1 "$work/hold") == "held 16" ]] || fail "per-user limit: $(cat "$work/hold")"
quick_version "while one user holds all it may"
# (A sanitizer's own bookkeeping per thread would hide the figure.)
if [[ $(ldd "$helper") != *lib[at]san* ]]; then
  (( $(rss) - before < 8192 )) || fail "announced frames took memory: $before KiB -> $(rss) KiB"
fi
wait "$holder"
[[ $(tail -1 "$work/hold") == "open 0" ]] || fail "unfinished frames outlived their deadline: $(cat "$work/hold")"
[[ $(log_count "too many connections of user $mallory") -ge 10 ]] || fail "refused connections not logged"
[[ $(log_count "frame not complete 10 s after its first byte") -ge 1 ]] || fail "deadline not logged"

# Six peers that send requests and never read: each is closed once its
# unsent replies pass the bound, and the main queue never waits for them.
for i in 1 2 3 4 5 6; do as "$mallory" "$wire" "$socket" no-read >"$work/noread.$i" & done
sleep 1
quick_version "while six peers never read"
wait $(jobs -p | grep -vx -e "$service_pid" -e "$receiver_pid")
for i in 1 2 3 4 5 6; do
  grep -q "^closed after" "$work/noread.$i" || fail "non-reading peer $i: $(cat "$work/noread.$i")"
done

# A half-close still gets every reply, those of the main queue included.
got=$(as "$eve" timeout 30 "$wire" "$socket" half-close)
[[ $got == "2 replies" ]] || fail "half-close: $got"

# Peer text cannot start a line of its own in the log.
as "$mallory" "$wire" "$socket" forged-name >/dev/null
[[ $(log_count 'makeCoffee\n<27>Dec  9 00:00:00 sshd[1]: forged\x01') -eq 1 ]] || fail "request name not escaped"
grep -q "^<27>Dec  9 00:00:00 sshd" "$work/syslog" && fail "a peer forged a log line"

# One user's stream of bad frames writes a few lines and a count, not one each.
lines=$(log_count "closed: payload is not a property list")
start=$(date +%s)
as "$mallory" "$wire" "$socket" flood 300
budget=$(( 10 * ($(date +%s) - start + 2) ))
sleep 1.5
flood=$(( $(log_count "closed: payload is not a property list") - lines ))
(( flood > 0 && flood <= budget && flood < 300 )) || fail "$flood refusal lines for 300 bad frames"
grep -qE "[0-9]+ refusal line\(s\) for user $mallory suppressed" "$work/syslog" || fail "no line counts the suppressed ones"

# A peer gone before its connection is looked at is refused with ESRCH.
kill -STOP "$service_pid"
"$wire" "$socket" exit-at-once
kill -CONT "$service_pid"
sleep 0.3
[[ $(log_count "error NSPOSIXErrorDomain / 3 / No such process") -eq 1 ]] || fail "exited peer not refused with ESRCH"

quick_version "at the end"
service_alive || fail "the service died"
grep -q "Sanitizer" "$work/service.err" && fail "the service reported a sanitizer finding"
finish
