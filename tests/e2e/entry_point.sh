#!/usr/bin/env bash
# The entry point run as a program in a temporary system root: the exact
# standard output of argument walks, the service role starting (and staying
# up) on two launch tokens, and the start-up lines on the root's /dev/log.
set -uo pipefail

helper="${OSTRAKEL_BUILD:?OSTRAKEL_BUILD must name the build directory}/brennick.Helper"
receiver="$OSTRAKEL_BUILD/tools/ostrakel-log-receiver"
root=$(mktemp -d /tmp/ostrakel-e2e-entry-XXXXXX)
export OSTRAKEL_ROOT="$root" HOME=/Users/tester
mkdir -p "$root/Users/tester" "$root/dev" "$root/var/run"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$root"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Compares the helper's standard output for the given arguments, byte for
# byte, with the expected text, and checks the exit status is 0.
expect_output() {
  local name=$1 expected=$2
  shift 2
  timeout 20 "$helper" "$@" >"$root/out" 2>"$root/err"
  local status=$?
  printf '%s' "$expected" >"$root/expected"
  [[ $status -eq 0 ]] || fail "$name: exit status $status"
  if ! cmp -s "$root/expected" "$root/out"; then
    fail "$name: standard output differs"
    diff <(od -c "$root/expected") <(od -c "$root/out") | head -20 >&2
  fi
}

tail_text='LOGGER STARTED (printf)'
usage='Usage:
--version                print version
--build-version          print build version and exit
--list                   list available bridges and exit
--active                 display active distribution and exit
--activate name arch     activate the given distribution
                         name arch arguments should be one of
                         the lines output by the --list option
--list-long              list available bridges, more verbose
--help                   this help
'
arg() { printf 'argument:%s\n' "$@"; }

expect_output "program path only" "$(arg "$helper")
$tail_text"

expect_output "version other than the build" "$(arg "$helper" --launch-service --version)
Version: 272
$tail_text" --launch-service --version 272

expect_output "version takes the next argument whatever it is" "$(arg "$helper" --version)
Version: --list
$(arg --help)
$usage$tail_text" --version --list --help

expect_output "version as the last argument ends the walk" "$(arg "$helper" --build-version)
Build version: 271
$(arg --version)
$tail_text" --build-version --version

expect_output "help and build version do not exit" "$(arg "$helper" --help)
$usage$(arg --build-version)
Build version: 271
$(arg --build-version)
Build version: 271
$(arg --list-long)
$tail_text" --help --build-version --build-version --list-long

expect_output "activate with one argument does nothing" "$(arg "$helper" --activate --help)
$usage$tail_text" --activate --help

expect_output "options are whole and case-sensitive" "$(arg "$helper" --HELP --help= -help help --launch-service=1)
$tail_text" --HELP --help= -help help --launch-service=1

# Arguments that are not UTF-8 are echoed as the bytes they are.
expect_output "bytes pass unchanged" "$(arg "$helper" $'\xff\xfe caf\xc3\xa9' '%s %@ %d' --version)
Version: "$'\xe9'"
$tail_text" $'\xff\xfe caf\xc3\xa9' '%s %@ %d' --version $'\xe9'

# "--activate" runs with the two following arguments, which are then walked
# in their turn. The activation's own report (a line of its own on standard
# output) is the verbs' business; only the walk around it is checked here.
timeout 20 "$helper" --activate --help x86_64 >"$root/out" 2>/dev/null
sed '/^Error Domain=/d' "$root/out" >"$root/walk"
printf '%s' "$(arg "$helper" --activate --help)
$usage$(arg x86_64)
$tail_text" >"$root/expected"
cmp -s "$root/expected" "$root/walk" || fail "activate followed by an option: walk differs"

# Two launch tokens start the service: it must keep running, having echoed
# everything but the version value, and without the buffered trailer.
expect_service() {
  local name=$1 expected=$2
  shift 2
  "$helper" "$@" >"$root/service-out" 2>"$root/service-err" &
  local pid=$!
  pids+=("$pid")
  printf '%s' "$expected" >"$root/expected"
  # Slow builds (sanitizers, a loaded machine) may take a while to echo.
  local size
  size=$(stat -c %s "$root/expected")
  for _ in $(seq 300); do
    (($(stat -c %s "$root/service-out") >= size)) && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  sleep 0.5
  if ! kill -0 "$pid" 2>/dev/null; then
    fail "$name: the service did not keep running"
  else
    kill "$pid"
    wait "$pid" 2>/dev/null
  fi
  if ! cmp -s "$root/expected" "$root/service-out"; then
    fail "$name: standard output differs"
    diff <(od -c "$root/expected") <(od -c "$root/service-out") | head -20 >&2
  fi
}

expect_service "launch handshake" "$(arg "$helper" --launch-service --version)
Version: 271
" --launch-service --version 271
expect_service "launch service twice" "$(arg "$helper" --launch-service --launch-service)
" --launch-service --launch-service
expect_service "version twice" "$(arg "$helper" --version)
Version: 271
$(arg --version)
Version: 271
$(arg --build-version)
Build version: 271
" --version 271 --version 271 --build-version

# The start-up lines on the root's /dev/log and the diagnostic line on
# standard error.
if [[ -x "$receiver" ]]; then
  "$receiver" "$root/dev/log" "$root/log" 1000 &
  receiver_pid=$!
  pids+=("$receiver_pid")
  for _ in $(seq 50); do [[ -S "$root/dev/log" ]] && break; sleep 0.1; done
  "$helper" >/dev/null 2>"$root/err" &
  helper_pid=$!
  wait "$helper_pid"
  wait "$receiver_pid"
  stamp='[A-Z][a-z][a-z] [ 123][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'
  expected_log=(
    "<30>$stamp brennick\.Helper\[$helper_pid\]: Setting up the listener"
    "<30>$stamp brennick\.Helper\[$helper_pid\]: Logger started"
    "<28>$stamp brennick\.Helper\[$helper_pid\]: LOGGER STARTED \(NSLog\)"
  )
  mapfile -t got <"$root/log"
  if [[ ${#got[@]} -ne ${#expected_log[@]} ]]; then
    fail "system log: expected ${#expected_log[@]} lines, got ${#got[@]}"
    cat "$root/log" >&2
  else
    for i in "${!expected_log[@]}"; do
      [[ "${got[$i]}" =~ ^${expected_log[$i]}$ ]] || fail "system log line $i: ${got[$i]}"
    done
  fi
  err_form="^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} brennick\.Helper\[$helper_pid:$helper_pid\] LOGGER STARTED \(NSLog\)$"
  [[ $(wc -l <"$root/err") -eq 1 && "$(cat "$root/err")" =~ $err_form ]] ||
    fail "diagnostic line on standard error: $(cat "$root/err")"
else
  fail "log receiver $receiver not built"
fi

# Nothing listening on /dev/log: the helper still runs and answers.
rm -f "$root/dev/log"
expect_output "no system log" "$(arg "$helper")
$tail_text"

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "entry point: all checks passed"
