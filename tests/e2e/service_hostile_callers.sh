#!/usr/bin/env bash
# Callers who try to borrow another process's authorization or to make an
# administrator's approval serve them: the identity is the one captured at
# connect, and an approved URL-less activation never picks a bundle another
# user controls; the prompt names what will change.
needs_services=1 source "$(dirname "$0")/lib/e2e.bash"
needs_test_users
make_layout
start_service
granted=$OSTRAKEL_TEST_USER_GRANTED plain=$OSTRAKEL_TEST_USER_PLAIN

# A peer hands its socket to its child and exits; its pid goes to another
# process of a user polkit would grant. That process's form is refused.
if [[ -w /proc/sys/kernel/ns_last_pid ]]; then
  got=$(timeout 60 "$wire" "$socket" reused-pid "$(id -u "$granted")")
  [[ $got == "Fix context FAILED -60002" ]] || fail "reused pid: $got"
  [[ -L "$root/usr/texbin" ]] && fail "a borrowed identity repaired /usr/texbin"
else
  echo "note: pids cannot be handed out here; the reused-pid case is not run"
fi

# A plain user's bundle with a date in the future, on their own volume.
evil="/Volumes/Plain$LTD/2099 (Plain).velmar"
mkdir -p "$root$(dirname "$evil")"
cp -a "$root/Volumes/External$LTD/2023 (External).velmar" "$root$evil"
chown -R "$plain" "$root/Volumes/Plain"
touch -h -d "2099-01-01" "$root$evil"

as_user=$granted
expect "approved URL-less activation" 0 "Activate distribution done" -- activate --no-url x86_64
[[ $(readlink "$root$LTD/.DefaultTeX/Contents") == "../Sample TeX 2025.velmar/Contents" ]] ||
  fail "the URL-less activation chose $(readlink "$root$LTD/.DefaultTeX/Contents")"
grep -qF "activate_distribution: Activating a distribution. Distribution: $LTD/Sample TeX 2025.velmar; binaries: x86_64." \
  "$OSTRAKEL_TEST_POLKIT_LOG" || fail "the prompt does not name the bundle: $(grep -F 'ostrakel-test prompt' "$OSTRAKEL_TEST_POLKIT_LOG")"

# Named, that bundle can still be activated.
expect "named activation of the user's bundle" 0 "Activate distribution done" -- activate "$evil" x86_64
[[ $(readlink "$root$LTD/.DefaultTeX/Contents") == *"2099 (Plain).velmar/Contents" ]] || fail "the named bundle was not activated"

service_alive || fail "the service died"
grep -q "Sanitizer" "$work/service.err" && fail "the service reported a sanitizer finding"
finish
