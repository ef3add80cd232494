# Shared by the service end-to-end tests (sourced): a temporary system root
# with the sample layout, a system-log receiver on its /dev/log, the service
# started in it, and checks of the client's answers.
set -uo pipefail

build=${OSTRAKEL_BUILD:?OSTRAKEL_BUILD must name the build directory}
source_dir=${OSTRAKEL_SOURCE:?OSTRAKEL_SOURCE must name the source directory}
helper="$build/brennick.Helper"
receiver="$build/tools/ostrakel-log-receiver"
wire="$build/tools/ostrakel-wire-tool"

root=$(mktemp -d /tmp/ostrakel-e2e-service-XXXXXX)
work=$(mktemp -d /tmp/ostrakel-e2e-work-XXXXXX)
chmod 755 "$root"
export OSTRAKEL_ROOT="$root" HOME=/Users/tester
mkdir -p "$root/Users/tester" "$root/dev" "$root/var/run" "$root/bin" "$root/tmp"
chmod 1777 "$root/tmp"
# A copy of the client that any test user can run.
install -m 755 "$build/ostrakel-client" "$root/bin/ostrakel-client"
client="$root/bin/ostrakel-client"
socket="$root/var/run/brennick.Helper.socket"
service_pid="" receiver_pid=""

cleanup() {
  [[ -n $service_pid ]] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  [[ -n $receiver_pid ]] && kill "$receiver_pid" 2>/dev/null
  rm -rf "$root" "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
finish() {
  if ((failures)); then
    echo "--- service stderr" >&2; tail -30 "$work/service.err" >&2
    echo "--- system log" >&2; tail -30 "$work/syslog" >&2
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "all passed"
  exit 0
}

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

start_service() {
  "$receiver" "$root/dev/log" "$work/syslog" 600000 &
  receiver_pid=$!
  for _ in $(seq 100); do [[ -S "$root/dev/log" ]] && break; sleep 0.05; done
  # First tries run with the caller's file-system rights; let them log too.
  chmod 666 "$root/dev/log"
  "${confinement[@]}" "$helper" --launch-service --version 271 >"$work/service.out" 2>"$work/service.err" &
  service_pid=$!
  for _ in $(seq 200); do
    if "$client" version >/dev/null 2>&1; then
      ((${#confinement[@]} == 0)) || check_confinement
      return 0
    fi
    sleep 0.05
  done
  fail "the service did not come up"
  finish
}

service_alive() { kill -0 "$service_pid" 2>/dev/null; }

# expect NAME STATUS STDOUT [STDERR-SUBSTRING] -- CLIENT-ARGS...
# Runs the client (as $as_user when set) and compares its exit status, its
# whole standard output and, when given, a part of its standard error.
as_user=""
expect() {
  local name=$1 status=$2 out=$3 err=""
  shift 3
  if [[ $1 != -- ]]; then err=$1; shift; fi
  shift
  local runner=()
  [[ -n $as_user ]] && runner=(setpriv --reuid="$as_user" --regid="$as_user" --clear-groups)
  timeout 60 "${runner[@]}" "$client" "$@" >"$work/out" 2>"$work/err" </dev/null
  local got=$?
  [[ $got -eq $status ]] || fail "$name: exit status $got, expected $status ($(head -3 "$work/err"))"
  [[ "$(cat "$work/out")" == "$out" ]] || fail "$name: printed '$(cat "$work/out")', expected '$out'"
  if [[ -n $err ]] && ! grep -qF -- "$err" "$work/err"; then
    fail "$name: standard error lacks '$err': $(cat "$work/err")"
  fi
}

# log_count TEXT: the number of system-log lines holding TEXT.
log_count() {
  sleep 0.2
  grep -cF -- "$1" "$work/syslog" 2>/dev/null || true
}

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
