#!/usr/bin/env bash
# The service takes the listening socket the service manager passes
# (LISTEN_FDS) instead of binding its own.
source "$(dirname "$0")/lib/e2e.bash"
if ! command -v systemd-socket-activate >/dev/null; then
  echo "SKIP: systemd-socket-activate is not installed"
  exit 0
fi
passed="$root/tmp/passed.socket"
systemd-socket-activate -l "$passed" "$helper" --launch-service --version 271 \
  >"$work/service.out" 2>"$work/service.err" &
service_pid=$!
for _ in $(seq 100); do [[ -S $passed ]] && break; sleep 0.05; done
expect "version through the passed socket" 0 "271" -- --socket "$passed" version
expect "a second connection" 0 "271" -- --socket "$passed" version
[[ -e $socket ]] && fail "the service bound its own socket as well"
finish
