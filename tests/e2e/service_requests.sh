#!/usr/bin/env bash
# Every request of the remote interface through the real client against the
# real service, asked by root: skip, success and failure without
# authorization data, and the client's own usage errors.
source "$(dirname "$0")/lib/e2e.bash"
make_layout
start_service

expect "version" 0 "271" -- version
expect "version without data" 0 "271" -- --no-auth version
expect "version with malformed data" 0 "271" -- --auth-hex 0102 version

bundle="/Library/TeX/Distributions/Sample TeX 2024.velmar"
expect "activate" 0 "Activate distribution done" -- activate "$bundle" x86_64
[[ "$(readlink "$root$bundle/Contents/Programs/texbin")" == x86_64 ]] || fail "activate wrote no texbin link"
expect "fix context" 0 "Fix context done (NO authData)" -- --no-auth fix-context
[[ -L "$root/usr/texbin" ]] || fail "fix context made no /usr/texbin"
expect "fix context again" 0 "Fix context: skipped" -- fix-context
expect "fix bridges" 0 "Fix distributions: skipped" -- fix-bridges
expect "activate again" 0 "Activate distribution: skipped" -- activate "$bundle" x86_64
expect "activate a missing bundle" 1 "Activate distribution FAILED (NO authData)" "error: OstrakelErrorDomain" \
  -- --no-auth activate /Library/TeX/Distributions/Missing.velmar x86_64
expect "activate without URL" 0 "Activate distribution done" -- activate --no-url x86_64

expect "velmarmgr" 0 "Fix velmarmgr done" -- fix-velmarmgr Example.prefPane
[[ "$(readlink "$root/usr/local/bin/velmarmgr")" == /Library/PreferencePanes/Example.prefPane/Contents/Executables/velmarmgr ]] ||
  fail "velmarmgr link missing"
expect "velmarmgr again" 0 "Fix velmarmgr: skipped" -- fix-velmarmgr Example.prefPane
expect "velmarmgr with a path for a name" 1 "Fix velmarmgr FAILED (NO authData)" "error: OstrakelErrorDomain 706" \
  -- --no-auth fix-velmarmgr ../../etc

expect "launchd information" 0 "Copy launchd information done" -- copy-launchd-information "$root/tmp/job.plist"
grep -q "<string>--launch-service</string>" "$root/Library/LaunchDaemons/brennick.Helper.plist" ||
  fail "job file not written"
expect "launchd information is never skipped" 0 "Copy launchd information done" \
  -- copy-launchd-information "$root/tmp/job.plist"

expect "reset" 0 "Reset done" -- reset
[[ -e "$root/usr/texbin" || -L "$root/usr/texbin" ]] && fail "reset left /usr/texbin"
expect "reset again" 0 "Reset: skipped" -- reset

# A request larger than 64 KiB (its frame's offsets take three bytes) is
# answered like any other.
long_name=$(head -c 70000 /dev/zero | tr '\0' a)
expect "long manager name" 1 "Fix velmarmgr FAILED (NO authData)" "error: " -- --no-auth fix-velmarmgr "$long_name"

# The client's own errors: nothing was asked.
expect "no request" 2 "" "no request given" --
expect "unknown request" 2 "" "unknown request" -- frobnicate
expect "missing argument" 2 "" "takes 2 argument" -- activate x86_64
expect "relative bundle path" 2 "" "must be an absolute path" -- activate relative.velmar x86_64
expect "odd hex" 2 "" "hexadecimal" -- --auth-hex abc version
expect "unreadable plist" 2 "" "cannot read" -- copy-launchd-information "$root/tmp/none.plist"
expect "no service" 2 "" "no service" -- --socket "$root/tmp/nothing.socket" version

[[ $(log_count "Setting up the listener") -ge 1 ]] || fail "no start-up line in the system log"
[[ $(log_count "Version: 271") -ge 3 ]] || fail "version answers not logged"
service_alive || fail "the service died"
finish
