#!/usr/bin/env bash
# The service is killed with SIGKILL at random moments while it activates
# bundles, 300 activations in all; after every kill the chain must hold:
# .DefaultTeX/Contents and every bundle's own texbin link exist and name a
# real bundle and a real binary folder. The service is started again each
# time.
without_log=1  # the load tools measure the service, not its log
source "$(dirname "$0")/lib/e2e.bash"

"$makeLayout" "$root" 3
bundles=()
for i in 0 1 2; do bundles+=(--bundle "/Library/TeX/Distributions/TeX-0000$i.velmar"); done
RANDOM=${OSTRAKEL_SEED:-4242}
sent=0
kills=0
interrupted=0
while ((sent < 300)); do
  start_service || break
  batch=$((5 + RANDOM % 20))
  "$load" --socket "$socket" --clients 1 --requests "$batch" --mix activations --seed "$RANDOM" \
    "${bundles[@]}" >/dev/null 2>&1 &
  loader=$!
  # A pause of 0 to 99 ms, so that the kill lands anywhere in the batch.
  sleep "0.0$((RANDOM % 10))$((RANDOM % 10))"
  kill -9 "$service_pid" 2>/dev/null
  wait "$service_pid" 2>/dev/null
  service_pid=
  # A client that lost its connection was cut off in the middle of its batch.
  wait "$loader" 2>/dev/null || interrupted=$((interrupted + 1))
  sent=$((sent + batch))
  kills=$((kills + 1))
  check_chain "after kill $kills"
  ((failures)) && break
done
leftovers=$(find "$ltd" -name '.*.ostrakel-*' | wc -l)
echo "activations sent: $sent, kills: $kills (of them mid-batch: $interrupted), temporary links left: $leftovers"
((interrupted > 0)) || fail "no kill landed while activations were running"
check_sanitizers
((failures)) && exit 1
echo "PASS"
