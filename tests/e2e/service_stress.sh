#!/usr/bin/env bash
# Sixteen clients send 200 mixed requests each (activations across three
# bundles, context repairs, version requests) to one service: every request
# gets exactly one reply, the service survives and still answers, and the
# link chain is sound afterwards.
without_log=1  # the load tools measure the service, not its log
source "$(dirname "$0")/lib/e2e.bash"

"$makeLayout" "$root" 3
start_service || exit 1
bundles=()
for i in 0 1 2; do bundles+=(--bundle "/Library/TeX/Distributions/TeX-0000$i.velmar"); done

if ! out=$(timeout 300 "$load" --socket "$socket" --clients 16 --requests 200 --mix mixed --seed 7 "${bundles[@]}"); then
  fail "the load run saw a protocol fault: $out"
fi
echo "load: $out"
[[ $out == "requests 3200 replies 3200 "* ]] || fail "not every request got its one reply"
kill -0 "$service_pid" 2>/dev/null || fail "the service died under load"
"$load" --socket "$socket" --clients 1 --requests 3 --mix version >/dev/null || fail "the service no longer answers"
check_chain "after the load"
check_sanitizers

if ((failures)); then
  tail -20 "$work/service.err" >&2
  exit 1
fi
echo "PASS"
