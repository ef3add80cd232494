#!/usr/bin/env bash
# The entry point run as a program in a temporary system root: the exact
# standard output of argument walks, the service role starting (and staying
# up) on two launch tokens, and the start-up lines on the root's /dev/log.
source "$(dirname "$0")/lib/e2e.bash"

# Compares the helper's standard output for the given arguments, byte for
# byte, with the expected text, and checks the exit status is 0.
expect_output() {
  local name=$1 expected=$2
  shift 2
  timeout 20 "$helper" "$@" >"$work/out" 2>"$work/err"
  local status=$?
  printf '%s' "$expected" >"$work/expected"
  [[ $status -eq 0 ]] || fail "$name: exit status $status"
  if ! cmp -s "$work/expected" "$work/out"; then
    fail "$name: standard output differs"
    diff <(od -c "$work/expected") <(od -c "$work/out") | head -20 >&2
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

expect_output "program path only" "$(args "$helper")
$tail_text"

expect_output "version other than the build" "$(args "$helper" --launch-service --version)
Version: 272
$tail_text" --launch-service --version 272

expect_output "version takes the next argument whatever it is" "$(args "$helper" --version)
Version: --list
$(args --help)
$usage$tail_text" --version --list --help

expect_output "version as the last argument ends the walk" "$(args "$helper" --build-version)
Build version: 271
$(args --version)
$tail_text" --build-version --version

expect_output "help and build version do not exit" "$(args "$helper" --help)
$usage$(args --build-version)
Build version: 271
$(args --build-version)
Build version: 271
$(args --list-long)
$tail_text" --help --build-version --build-version --list-long

expect_output "activate with one argument does nothing" "$(args "$helper" --activate --help)
$usage$tail_text" --activate --help

expect_output "options are whole and case-sensitive" "$(args "$helper" --HELP --help= -help help --launch-service=1)
$tail_text" --HELP --help= -help help --launch-service=1

# Arguments that are not UTF-8 are echoed as the bytes they are.
expect_output "bytes pass unchanged" "$(args "$helper" $'\xff\xfe caf\xc3\xa9' '%s %@ %d' --version)
Version: "$'\xe9'"
$tail_text" $'\xff\xfe caf\xc3\xa9' '%s %@ %d' --version $'\xe9'

# "--activate" runs with the two following arguments, which are then walked
# in their turn. The activation's own report (a line of its own on standard
# output) is the verbs' business; only the walk around it is checked here.
timeout 20 "$helper" --activate --help x86_64 >"$work/out" 2>/dev/null
sed '/^Error Domain=/d' "$work/out" >"$work/walk"
printf '%s' "$(args "$helper" --activate --help)
$usage$(args x86_64)
$tail_text" >"$work/expected"
cmp -s "$work/expected" "$work/walk" || fail "activate followed by an option: walk differs"

# Two launch tokens start the service: it must keep running, having echoed
# everything but the version value, and without the buffered trailer.
expect_service() {
  local name=$1 expected=$2
  shift 2
  "$helper" "$@" >"$root/service-out" 2>"$root/service-err" &
  local pid=$!
  pids+=("$pid")
  printf '%s' "$expected" >"$work/expected"
  # Slow builds (sanitizers, a loaded machine) may take a while to echo.
  local size
  size=$(stat -c %s "$work/expected")
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
  if ! cmp -s "$work/expected" "$root/service-out"; then
    fail "$name: standard output differs"
    diff <(od -c "$work/expected") <(od -c "$root/service-out") | head -20 >&2
  fi
}

expect_service "launch handshake" "$(args "$helper" --launch-service --version)
Version: 271
" --launch-service --version 271
expect_service "launch service twice" "$(args "$helper" --launch-service --launch-service)
" --launch-service --launch-service
expect_service "version twice" "$(args "$helper" --version)
Version: 271
$(args --version)
Version: 271
$(args --build-version)
Build version: 271
" --version 271 --version 271 --build-version

# The start-up lines on the root's /dev/log and the diagnostic line on
# standard error.
if [[ -x "$receiver" ]]; then
  "$receiver" "$root/dev/log" "$root/log" 1000 &
  receiver_pid=$!
  for _ in $(seq 50); do [[ -S "$root/dev/log" ]] && break; sleep 0.1; done
  "$helper" >/dev/null 2>"$work/err" &
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
  [[ $(wc -l <"$work/err") -eq 1 && "$(cat "$work/err")" =~ $err_form ]] ||
    fail "diagnostic line on standard error: $(cat "$work/err")"
else
  fail "log receiver $receiver not built"
fi

# Nothing listening on /dev/log: the helper still runs and answers.
rm -f "$root/dev/log"
expect_output "no system log" "$(args "$helper")
$tail_text"
finish
