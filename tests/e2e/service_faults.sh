#!/usr/bin/env bash
# Bad input and misbehaving peers: each is refused or answered, logged once
# at level 3 where it is refused, and the service keeps serving everyone.
source "$(dirname "$0")/lib/e2e.bash"
make_layout
start_service

refusals=0
for mode in too-long truncated not-plist wrong-shape unknown-request wrong-kind; do
  got=$(timeout 30 "$wire" "$socket" "$mode")
  [[ $got == closed ]] || fail "$mode: expected the connection closed, got '$got'"
  refusals=$((refusals + 1))
  expect "version after $mode" 0 "271" -- version
done
# Level 3 is "<27>" for the daemon facility.
[[ $(log_count "closed:") -eq $refusals ]] || fail "expected $refusals refusal lines, got $(log_count "closed:")"
[[ $(grep -F "<27>" "$work/syslog" | grep -cF "closed:") -eq $refusals ]] || fail "refusals not logged at level 3"
[[ $(log_count "frame too long") -eq 1 ]] || fail "too-long frame not logged once"
[[ $(log_count "truncated frame") -eq 1 ]] || fail "truncated frame not logged once"
[[ $(log_count "payload is not a property list") -eq 1 ]] || fail "non-plist payload not logged once"
[[ $(log_count "refused request makeCoffeeWithAuthorization:replyBlock:: unknown request") -eq 1 ]] ||
  fail "unknown request not logged once"
[[ $(log_count "argument 0 is not a string") -eq 1 ]] || fail "wrong argument kind not logged once"

# Peers that are gone while the service still reads their process's status.
for _ in $(seq 40); do
  "$wire" "$socket" exit-at-once
  "$wire" "$socket" leave-before-reply
done
expect "version after peers that left" 0 "271" -- version

got=$(timeout 120 "$wire" "$socket" many 100)
[[ $got == "100 replies" ]] || fail "many connections: $got"

# Several clients at once, each asking a state-changing request.
for i in $(seq 10); do
  "$client" --no-auth copy-launchd-information "$root/tmp/job.plist" >"$work/parallel.$i" 2>&1 &
done
wait_status=0
for job in $(jobs -p); do
  [[ $job == "$service_pid" || $job == "$receiver_pid" ]] && continue
  wait "$job" || wait_status=1
done
((wait_status == 0)) || fail "a parallel request failed: $(cat "$work"/parallel.*)"
[[ $(cat "$work"/parallel.* | grep -c "Copy launchd information done (NO authData)") -eq 10 ]] ||
  fail "parallel replies: $(cat "$work"/parallel.*)"

service_alive || fail "the service died"
expect "version at the end" 0 "271" -- version
finish
