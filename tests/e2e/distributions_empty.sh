#!/usr/bin/env bash
# The listing verbs with nothing installed: no output of their own, one
# level-3 line each in the system log.
source "$(dirname "$0")/lib/distributions.bash"

run --list --list-long --active
expect_out "no bridges: only the argument echo" "$(args "$HELPER" --list --list-long --active)
$STARTED"

# listen FILE: collects the datagrams sent to the root's /dev/log in FILE
# until stop_listening.
listen() {
  mkdir -p "$ROOT/dev"
  rm -f "$ROOT/dev/log" "$1"
  python3 - "$ROOT/dev/log" "$1" <<'PY' &
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
s.settimeout(10)
with open(sys.argv[2], "w") as out:
    out.flush()
    try:
        while True:
            out.write(s.recv(65536).decode("utf-8", "replace") + "\n")
            out.flush()
    except socket.timeout:
        pass
PY
  LISTENER=$!
  local _
  for _ in $(seq 100); do [[ -e "$1" ]] && return 0; sleep 0.05; done
}
stop_listening() {
  sleep 0.3
  kill "$LISTENER" 2>/dev/null || true
  wait "$LISTENER" 2>/dev/null || true
}

if command -v python3 >/dev/null; then
  listen "$ROOT/log1.txt"
  run --list --list-long --active
  stop_listening
  errors=$(grep -c '^<27>.*brennick.Helper\[[0-9]*\]: error NSPOSIXErrorDomain / 2 / No such file or directory' "$ROOT/log1.txt" || true)
  expect_eq "one level-3 line per listing verb" 3 "$errors"

  # An empty folder gives no error object: the line shows placeholders.
  mkdir -p "$ROOT$LTD"
  listen "$ROOT/log2.txt"
  run --list
  stop_listening
  expect_out "empty folder: nothing listed" "$(args "$HELPER" --list)
$STARTED"
  errors=$(grep -c '^<27>.*: error (null) / 0 / (null)' "$ROOT/log2.txt" || true)
  expect_eq "listing without an error logs placeholders" 1 "$errors"
else
  echo "skip: python3 not available to read the system log"
fi

finish
