# The one library of the end-to-end scenarios; each sources it first. It
# gives a temporary system root ($root, exported as OSTRAKEL_ROOT, with
# HOME=/Users/tester inside) and a work folder ($work), both removed on exit
# together with the service, the log receiver and any process put in $pids;
# the tally of failures; and the pieces the scenarios share: bundles and runs
# of the helper's verbs, the service with its log receiver and client, the
# ostrakel command run as a test user, and the check of the link chain after
# the load tools.
#
# A scenario that needs polkit and the test users sets needs_services=1
# before sourcing: it then runs again under scripts/test-services.sh.
set -uo pipefail

build=${OSTRAKEL_BUILD:?OSTRAKEL_BUILD must name the build directory}
source_dir=${OSTRAKEL_SOURCE:?OSTRAKEL_SOURCE must name the source directory}
if [[ -n ${needs_services:-} && -z ${OSTRAKEL_TEST_SERVICES:-} ]]; then
  exec bash "$source_dir/scripts/test-services.sh" bash "$0" "$@"
fi

helper="$build/brennick.Helper"
receiver="$build/tools/ostrakel-log-receiver"
wire="$build/tools/ostrakel-wire-tool"
load="$build/bench/ostrakel-load"
makeLayout="$build/bench/ostrakel-make-layout"
LTD=/Library/TeX/Distributions  # inside the root

root=$(mktemp -d /tmp/ostrakel-e2e-XXXXXX)
work=$(mktemp -d /tmp/ostrakel-e2e-work-XXXXXX)
ltd=$root$LTD
socket="$root/var/run/brennick.Helper.socket"
chmod 755 "$root"
export OSTRAKEL_ROOT="$root" HOME=/Users/tester
mkdir -p "$root/Users/tester" "$root/dev" "$root/var/run" "$root/bin" "$root/tmp"
chmod 1777 "$root/tmp"
# Copies of the programs that any test user can run.
install -m 755 "$build/ostrakel-client" "$root/bin/ostrakel-client"
install -m 755 "$build/ostrakel" "$root/bin/ostrakel"
client="$root/bin/ostrakel-client"
ostrakel="$root/bin/ostrakel"

service_pid="" receiver_pid="" pids=()
cleanup() {
  local pid
  for pid in $service_pid $receiver_pid "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$root" "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# Ends the scenario: its exit status says whether every check held.
finish() {
  if ((failures)); then
    if [[ -e $work/service.err ]]; then echo "--- service stderr" >&2; tail -30 "$work/service.err" >&2; fi
    if [[ -e $work/syslog ]]; then echo "--- system log" >&2; tail -30 "$work/syslog" >&2; fi
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "all passed"
  exit 0
}
# needs_test_users: ends the scenario as skipped where test-services.sh could
# not make polkit and the test users.
needs_test_users() {
  [[ -n ${OSTRAKEL_TEST_USER_GRANTED:-} ]] && return 0
  echo "SKIP: polkit and test users are not available"
  exit 0
}

# --- The helper's verbs on bundles laid out in the root.

# bundle FOLDER NAME [ARCH...]: FOLDER/NAME.velmar (inside the root) with an
# executable pdftex in each architecture folder.
bundle() {
  local path="$root$1/$2.velmar" arch
  shift 2
  mkdir -p "$path/Contents/Programs"
  for arch in "$@"; do
    mkdir -p "$path/Contents/Programs/$arch"
    printf '#!/bin/sh\nexit 0\n' >"$path/Contents/Programs/$arch/pdftex"
    chmod 755 "$path/Contents/Programs/$arch/pdftex"
  done
}
# stamp PATH DATE: the modification time of a path inside the root.
stamp() { touch -h -d "$2" "$root$1"; }
link_text() { readlink "$root$1" || echo "<no link>"; }
# run ARGS...: the helper's standard output, byte for byte, in $out.
run() {
  out=$("$helper" "$@" 2>/dev/null; printf x)
  out=${out%x}
}
# args ARG...: the echo lines the argument walk writes for the given arguments.
args() { printf 'argument:%s\n' "$@"; }
started="LOGGER STARTED (printf)"
# expect_eq NAME EXPECTED ACTUAL
expect_eq() { [[ "$3" == "$2" ]] || fail "$1: expected [$2], got [$3]"; }
# expect_out NAME EXPECTED: compares $out with EXPECTED exactly.
expect_out() {
  [[ "$out" == "$2" ]] && return 0
  fail "$1"
  diff <(printf '%s' "$2") <(printf '%s' "$out") >&2 || true
  return 0
}

# --- The service, its system log and its client.

# With OSTRAKEL_E2E_CONFINED set, the service runs as its systemd unit runs
# it: with exactly the unit's capability bounding set and no way to gain
# privileges.
confinement=()
if [[ -n ${OSTRAKEL_E2E_CONFINED:-} ]]; then
  unit="$source_dir/packaging/brennick.Helper.service.in"
  bounding=-all
  for cap in $(sed -n 's/^CapabilityBoundingSet=//p' "$unit"); do
    cap=${cap#CAP_}
    bounding+=",+${cap,,}"
  done
  grep -qx 'NoNewPrivileges=yes' "$unit" || { echo "FAIL: the unit does not set NoNewPrivileges=yes" >&2; exit 1; }
  confinement=(setpriv --bounding-set="$bounding" --no-new-privs)
fi

# check_confinement: the running service has no capability beyond the
# unit's bounding set and cannot gain privileges.
check_confinement() {
  local status="/proc/$service_pid/status" full
  full=$(awk '/^CapBnd:/ { print $2 }' /proc/self/status)
  grep -q '^NoNewPrivs:[[:space:]]*1$' "$status" || fail "the service may gain privileges"
  [[ $(awk '/^CapBnd:/ { print $2 }' "$status") != "$full" ]] || fail "the service kept the full bounding set"
  [[ $(awk '/^CapEff:/ { print $2 }' "$status") == $(awk '/^CapBnd:/ { print $2 }' "$status") ]] ||
    fail "the service's capabilities are not its bounding set"
}

# listen_log FILE: collects the datagrams sent to the root's /dev/log in
# FILE, one a line, until stop_listening.
listen_log() {
  rm -f "$root/dev/log"
  "$receiver" "$root/dev/log" "$1" 600000 &
  receiver_pid=$!
  for _ in $(seq 100); do [[ -S "$root/dev/log" ]] && break; sleep 0.05; done
  # First tries run with the caller's file-system rights; let them log too.
  chmod 666 "$root/dev/log"
}
stop_listening() {
  sleep 0.3
  kill "$receiver_pid" 2>/dev/null || true
  wait "$receiver_pid" 2>/dev/null || true
  receiver_pid=""
}

# start_service: starts the service on the root (again after it ended) and
# waits until it answers; the first start also starts a receiver on the
# root's /dev/log unless the scenario set without_log=1. Ends the scenario
# when the service does not come up.
start_service() {
  [[ -n $receiver_pid || -n ${without_log:-} ]] || listen_log "$work/syslog"
  rm -f "$socket"
  "${confinement[@]}" "$helper" --launch-service --version 271 >>"$work/service.out" 2>>"$work/service.err" &
  service_pid=$!
  for _ in $(seq 200); do
    if "$client" version >/dev/null 2>&1; then
      ((${#confinement[@]} == 0)) || check_confinement
      return 0
    fi
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.05
  done
  fail "the service did not come up"
  finish
}

service_alive() { kill -0 "$service_pid" 2>/dev/null; }

# A sanitizer report from the service fails the test even though the service
# itself is ended by a signal and never gets to exit with the sanitizer's code.
check_sanitizers() {
  if grep -q "Sanitizer" "$work/service.err" 2>/dev/null; then
    fail "the service reported a sanitizer finding"
    grep -A30 "Sanitizer" "$work/service.err" | head -60 >&2
  fi
}

# expect NAME STATUS STDOUT [STDERR-SUBSTRING] -- CLIENT-ARGS...
# Runs the client (as $as_user when set) and compares its exit status, its
# whole standard output and, when given, a part of its standard error.
as_user=""
expect() {
  local name=$1 status=$2 expected=$3 err=""
  shift 3
  if [[ $1 != -- ]]; then err=$1; shift; fi
  shift
  local runner=()
  [[ -n $as_user ]] && runner=(setpriv --reuid="$as_user" --regid="$as_user" --clear-groups)
  timeout 60 "${runner[@]}" "$client" "$@" >"$work/out" 2>"$work/err" </dev/null
  local got=$?
  [[ $got -eq $status ]] || fail "$name: exit status $got, expected $status ($(head -3 "$work/err"))"
  [[ "$(cat "$work/out")" == "$expected" ]] || fail "$name: printed '$(cat "$work/out")', expected '$expected'"
  if [[ -n $err ]] && ! grep -qF -- "$err" "$work/err"; then
    fail "$name: standard error lacks '$err': $(cat "$work/err")"
  fi
}

# log_count TEXT: the number of system-log lines holding TEXT.
log_count() {
  sleep 0.2
  grep -cF -- "$1" "$work/syslog" 2>/dev/null || true
}

# make_layout: the sample distributions, the folders the repairs write in, a
# manager tool and a job description in $root/tmp/job.plist.
make_layout() {
  bash "$source_dir/scripts/sample-layout.sh" "$root"
  mkdir -p "$root/Library/LaunchDaemons" "$root/usr/local/bin"
  local tool="$root/Library/PreferencePanes/Example.prefPane/Contents/Executables"
  mkdir -p "$tool"
  printf '#!/bin/sh\n' >"$tool/velmarmgr"
  chmod 755 "$tool/velmarmgr"
  cat >"$root/tmp/job.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>Label</key><string>brennick.Helper</string>
  <key>ProgramArguments</key>
  <array><string>brennick.Helper</string><string>--launch-service</string><string>--version</string><string>271</string></array>
</dict>
</plist>
PLIST
  chmod 644 "$root/tmp/job.plist"
}

# --- The ostrakel command.

# run_as USER ARGS...: runs `ostrakel --root $root ARGS...` as USER ("" for
# root) without a terminal; sets $status, and $work/out and $work/err.
run_as() {
  local user=$1
  shift
  local runner=()
  [[ -n $user ]] && runner=(setpriv --reuid="$user" --regid="$user" --clear-groups)
  timeout 60 "${runner[@]}" "$ostrakel" --root "$root" "$@" >"$work/out" 2>"$work/err" </dev/null
  status=$?
}

# check NAME STATUS [TEXT]: the last run ended with STATUS and, when TEXT is
# given, printed it on standard output or standard error.
check() {
  [[ $status -eq $2 ]] || fail "$1: exit status $status, expected $2: $(head -c 400 "$work/err")"
  if (($# > 2)) && ! grep -qF -- "$3" "$work/out" "$work/err"; then
    fail "$1: no '$3' in: $(cat "$work/out" "$work/err" | head -c 600)"
  fi
}

# json EXPRESSION: evaluates a Python expression over the JSON the last run
# printed (bound to `d`); names with bytes that are not UTF-8 come back with
# surrogate escapes, so `b(name)` gives their bytes.
json() {
  python3 -c '
import json, sys
d = json.loads(open(sys.argv[1], "rb").read().decode("ascii"))
b = lambda s: s.encode("utf-8", "surrogateescape")
print(eval(sys.argv[2]))' "$work/out" "$1"
}

# --- The link chain after the load tools.

# Every bundle's own texbin link names one of its binary folders, and
# .DefaultTeX/Contents names the Contents folder of a real bundle, so that
# /usr/texbin leads to executable programs. $1 says when the check is made.
check_chain() {
  local when=$1 text bundle
  if [[ ! -L $ltd/.DefaultTeX/Contents ]]; then
    fail "$when: .DefaultTeX/Contents is not a link"
  else
    text=$(readlink "$ltd/.DefaultTeX/Contents")
    [[ $text =~ ^\.\./[^/]+\.velmar/Contents$ && -d $ltd/.DefaultTeX/$text ]] ||
      fail "$when: .DefaultTeX/Contents holds '$text', which names no bundle"
  fi
  for bundle in "$ltd"/*.velmar; do
    if [[ ! -L $bundle/Contents/Programs/texbin ]]; then
      fail "$when: $(basename "$bundle") has no texbin link"
      continue
    fi
    text=$(readlink "$bundle/Contents/Programs/texbin")
    [[ $text == x86_64 || $text == i386 ]] && [[ -x $bundle/Contents/Programs/$text/tex ]] ||
      fail "$when: $(basename "$bundle")'s texbin link holds '$text', which names no binary folder"
  done
  [[ -x $root/usr/texbin/tex ]] || fail "$when: /usr/texbin does not lead to the programs"
}
