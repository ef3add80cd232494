#!/usr/bin/env bash
# The repair requests through the running service and the client, in a
# temporary system root: context repair and its skip, the manager links (and a
# bundle name that tries to leave /Library/PreferencePanes), the job file, and
# reset with its skip.
set -uo pipefail

build="${OSTRAKEL_BUILD:?OSTRAKEL_BUILD must name the build directory}"
source_dir="${OSTRAKEL_SOURCE:?OSTRAKEL_SOURCE must name the source directory}"
root=$(mktemp -d /tmp/ostrakel-e2e-repairs-XXXXXX)
export OSTRAKEL_ROOT="$root" HOME=/Users/tester
mkdir -p "$root/Users/tester" "$root/var/run" "$root/usr/local/bin" "$root/Library/LaunchDaemons"
bash "$source_dir/scripts/sample-layout.sh" "$root"
service_pid=
cleanup() {
  [[ -n $service_pid ]] && kill "$service_pid" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
socket="$root/var/run/brennick.Helper.socket"
request() { timeout 20 "$build/ostrakel-client" --socket "$socket" --no-auth "$@" 2>&1; }
expect_reply() {
  local expected=$1 reply
  shift
  reply=$(request "$@")
  [[ $reply == "$expected"* ]] || fail "$*: got '$reply', expected '$expected'"
}
expect_link() {
  local path=$1 expected=$2 text
  text=$(readlink "$root$path") || text="(none)"
  [[ $text == "$expected" ]] || fail "$path links to '$text', expected '$expected'"
}

"$build/brennick.Helper" --launch-service --version 271 >"$root/service.out" 2>&1 &
service_pid=$!
for _ in $(seq 100); do [[ -S $socket ]] && break; sleep 0.1; done
[[ -S $socket ]] || { echo "FAIL: the service did not start" >&2; exit 1; }

# Nothing active yet: the outer links are written, the context is not sound.
expect_reply "Fix context done" fix-context
expect_link /usr/texbin ../Library/TeX/Distributions/Programs/texbin
expect_link /Library/TeX/Distributions/Programs/texbin ../.DefaultTeX/Contents/Programs/texbin
expect_reply "Activate distribution done" activate "/Library/TeX/Distributions/Sample TeX 2024.velmar" x86_64
expect_reply "Fix context: skipped" fix-context
[[ -x "$root/Library/TeX/Distributions/Programs/texbin/tex" ]] || fail "the chain offers no tex"

expect_reply "Fix velmarmgr FAILED" fix-velmarmgr ../../etc
[[ -e $root/Library/TeX/Distributions/Programs/velmarmgr ]] && fail "a link was made for a bad name"
expect_reply "Fix velmarmgr done" fix-velmarmgr Example.prefPane
tool=/Library/PreferencePanes/Example.prefPane/Contents/Executables/velmarmgr
expect_link /Library/TeX/Distributions/Programs/velmarmgr "$tool"
expect_link /usr/local/bin/velmarmgr "$tool"

printf '<?xml version="1.0"?><plist version="1.0"><dict><key>Label</key><string>brennick.Helper</string></dict></plist>' >"$root/job.plist"
expect_reply "Copy launchd information done" copy-launchd-information "$root/job.plist"
grep -q '<string>brennick.Helper</string>' "$root/Library/LaunchDaemons/brennick.Helper.plist" ||
  fail "the job file was not written"
rm -rf "$root/Library/LaunchDaemons"
expect_reply "Copy launchd information FAILED" copy-launchd-information "$root/job.plist"
[[ -e $root/Library/LaunchDaemons ]] && fail "the LaunchDaemons folder was created"

expect_reply "Reset done" reset
expect_reply "Reset: skipped" reset
for item in /usr/texbin /Library/TeX/Distributions/Programs/texbin /Library/TeX/Distributions/.DefaultTeX; do
  [[ -e $root$item || -L $root$item ]] && fail "$item survived the reset"
done
expect_link /Library/TeX/Distributions/Programs/velmarmgr "$tool"
expect_link "/Library/TeX/Distributions/Sample TeX 2024.velmar/Contents/Programs/texbin" x86_64

kill -0 "$service_pid" 2>/dev/null || fail "the service ended"
((failures == 0)) && echo "repairs end to end: all passed"
exit $((failures > 0))
