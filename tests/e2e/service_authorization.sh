#!/usr/bin/env bash
# Authorization end to end with polkit on a private system bus: callers who
# are not root get no more than they could do themselves without a granted
# check, are refused with the action's code when polkit says no, and succeed
# after a granted check.
needs_services=1 source "$(dirname "$0")/lib/e2e.bash"
needs_test_users
make_layout
start_service
granted=$OSTRAKEL_TEST_USER_GRANTED denied=$OSTRAKEL_TEST_USER_DENIED plain=$OSTRAKEL_TEST_USER_PLAIN

bundle="/Library/TeX/Distributions/Sample TeX 2024.velmar"
expect "root activates" 0 "Activate distribution done" -- activate "$bundle" x86_64

# The chain is missing and only root may write /usr: first tries fail.
as_user=$plain
expect "plain, no data" 1 "Fix context FAILED (NO authData)" "error: " -- --no-auth fix-context
[[ -L "$root/usr/texbin" ]] && fail "an unauthorized caller changed /usr"
expect "plain, no agent to ask" 1 "Fix context FAILED" "underlying: NSCocoaErrorDomain -60007" -- fix-context
as_user=$denied
expect "denied" 1 "Fix context FAILED" "error: OstrakelErrorDomain 709" -- fix-context
expect "denied, underlying" 1 "Fix context FAILED" "underlying: NSCocoaErrorDomain -60005 The authorization was denied" \
  -- fix-context
expect "denied launchd information" 1 "Copy launchd information FAILED" "error: OstrakelErrorDomain 113" \
  -- copy-launchd-information "$root/tmp/job.plist"
expect "denied activation" 1 "Activate distribution FAILED" "error: OstrakelErrorDomain 710" \
  -- activate "/Library/TeX/Distributions/Sample TeX 2025.velmar" x86_64
as_user=$granted
expect "granted, empty data" 1 "Fix context FAILED" "underlying: NSOSStatusErrorDomain -50" -- --auth-hex "" fix-context
# Somebody else's identity (pid 1's form) is not this caller's to lend.
init_start=$(awk '{ sub(/.*\) /, ""); print $20 }' /proc/1/stat)
init_form=$(printf '4f535452414b454c%08x%08x%016x0000000000000000' 1 "$(id -u "$granted")" "$init_start")
expect "granted, another process's form" 1 "Fix context FAILED" "underlying: NSCocoaErrorDomain -60002" \
  -- --auth-hex "$init_form" fix-context
[[ -L "$root/usr/texbin" ]] && fail "a refused check changed /usr"
[[ $(log_count "Credentials OK") -eq 0 ]] || fail "credentials accepted too early"

expect "granted" 0 "Fix context done" -- fix-context
[[ -L "$root/usr/texbin" ]] || fail "the granted retry did not repair /usr/texbin"
[[ $(log_count "Credentials OK") -eq 1 ]] || fail "no 'Credentials OK' line"
expect "granted, again" 0 "Fix context: skipped" -- fix-context

# What a caller may do itself needs no check: a job-file folder it owns.
as_user=$plain
chown "$plain" "$root/Library/LaunchDaemons"
expect "plain writes its own folder" 0 "Copy launchd information done (NO authData)" \
  -- --no-auth copy-launchd-information "$root/tmp/job.plist"
[[ $(stat -c %U "$root/Library/LaunchDaemons/brennick.Helper.plist") == "$plain" ]] ||
  fail "the first try did not run as the caller"
chown root "$root/Library/LaunchDaemons"

expect "plain reset refused" 1 "Reset FAILED" "error: OstrakelErrorDomain 107" -- reset
[[ -L "$root/usr/texbin" ]] || fail "a refused reset removed /usr/texbin"
as_user=$granted
expect "granted reset" 0 "Reset done" -- reset
[[ -L "$root/usr/texbin" ]] && fail "the granted reset left /usr/texbin"
as_user=""
expect "root needs no check" 0 "Fix context done" -- fix-context

# What a first try may not even look at is not in order: folders only root
# may read make it ask, as a missing right would.
chmod 700 "$root/Library/TeX" "$root/usr"
as_user=$denied
expect "denied reset, unreadable folders" 1 "Reset FAILED" "underlying: NSCocoaErrorDomain -60005" -- reset
[[ -L "$root/usr/texbin" ]] || fail "a refused reset removed /usr/texbin"
chmod 755 "$root/Library/TeX" "$root/usr"
texbin="$ltd/Sample TeX 2024.velmar/Contents/Programs/texbin"
ln -sfn nowhere "$texbin"
chmod 700 "$ltd"
as_user=$granted
expect "granted repair, unreadable folder" 0 "Fix distributions done" -- fix-bridges
expect_eq "bridge repaired behind an unreadable folder" x86_64 "$(readlink "$texbin")"
chmod 755 "$ltd"
as_user=""

service_alive || fail "the service died"
finish
