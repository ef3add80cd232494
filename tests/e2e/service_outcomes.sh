#!/usr/bin/env bash
# What a caller is told matches what happened: a repair that worked is no
# failure, an activation that activated nothing is no success (also after a
# granted check), an activation without an architecture takes the bundle's
# default entry, and unsigned numbers above the signed range come back as
# they were sent.
needs_services=1 source "$(dirname "$0")/lib/e2e.bash"
make_layout
mkdir -p "$root/Volumes/Stick"  # a mounted volume without distributions
start_service
granted=${OSTRAKEL_TEST_USER_GRANTED:-}

# request FILE ID NAME ARGUMENTS ABSENT: a request dictionary in FILE with
# the given XML inside its argument array and its array of absent indexes.
request() {
  cat >"$1" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>id</key><integer>$2</integer>
<key>request</key><string>$3</string>
<key>arguments</key><array>$4</array>
<key>absent</key><array>$5</array>
</dict></plist>
XML
}
# ask FILE: the service's reply to the request in FILE, as XML on one line.
ask() { reply=$("$wire" "$socket" ask "$1" | tr -d '\n\t'); }
activate=activateBridgeAtURL:architectureSource:withAuthorization:replyBlock:

expect "fix bridges beside a volume without distributions" 0 "Fix distributions done" -- fix-bridges
[[ $(readlink "$root$LTD/Sample TeX 2024.velmar/Contents/Programs/texbin") == x86_64 ]] ||
  fail "fix bridges did not repair the bundle's link"

request "$work/not-a-bundle.plist" 7 "$activate" \
  "<string>file://$LTD/TeX%20Live%202024</string><string>x86_64</string>" "<integer>2</integer>"
ask "$work/not-a-bundle.plist"
[[ $reply == *"<key>message</key><string>Activate distribution FAILED (NO authData)</string>"* &&
   $reply == *"<key>code</key><integer>111</integer>"* &&
   $reply == *"<key>NSURL</key><string>file://$LTD/TeX%20Live%202024</string>"* ]] ||
  fail "activating a path that is no bundle: $reply"

expect "no bridge offers the architecture" 1 "Activate distribution FAILED (NO authData)" \
  "error: OstrakelErrorDomain 111" -- --no-auth activate --no-url ppc
grep -q "^underlying: NSPOSIXErrorDomain 2 " "$work/err" || fail "the listing error is not beneath: $(cat "$work/err")"

rm "$root$LTD/Sample TeX 2024.velmar/Contents/Programs/texbin"
request "$work/no-arch.plist" 9223372036854775808 "$activate" \
  "<string>file://$LTD/Sample%20TeX%202024.velmar</string>" "<integer>1</integer><integer>2</integer>"
ask "$work/no-arch.plist"
[[ $reply == *"<key>id</key><integer>9223372036854775808</integer>"* &&
   $reply == *"<string>Activate distribution done (NO authData)</string>"* ]] ||
  fail "activation without an architecture: $reply"
[[ $(readlink "$root$LTD/.DefaultTeX/Contents") == "../Sample TeX 2024.velmar/Contents" &&
   $(readlink "$root$LTD/Sample TeX 2024.velmar/Contents/Programs/texbin") == x86_64 ]] ||
  fail "activation without an architecture did not activate the default entry"

request "$work/version.plist" 18446744073709551615 getVersionWithAuthorization:replyBlock: "" "<integer>0</integer>"
ask "$work/version.plist"
[[ $reply == *"<key>id</key><integer>18446744073709551615</integer>"* ]] || fail "the id came back changed: $reply"
sed -i 's|<key>Label</key>|<key>Big</key><integer>18446744073709551615</integer><key>Label</key>|' "$root/tmp/job.plist"
expect "job description with a large number" 0 "Copy launchd information done" -- copy-launchd-information "$root/tmp/job.plist"
grep -q "<integer>18446744073709551615</integer>" "$root/Library/LaunchDaemons/brennick.Helper.plist" ||
  fail "the job file lost the large number: $(grep -A1 Big "$root/Library/LaunchDaemons/brennick.Helper.plist")"

# Nothing installed at all: the activation has nothing to activate.
mv "$root$LTD" "$work/distributions"
rm -rf "$root/Volumes"
mkdir -p "$root$LTD"
expect "nothing installed" 1 "Activate distribution FAILED (NO authData)" "error: OstrakelErrorDomain 111" \
  -- --no-auth activate --no-url x86_64
if [[ -n $granted ]]; then
  as_user=$granted
  expect "nothing installed, granted" 1 "Activate distribution FAILED" "error: OstrakelErrorDomain 111" \
    -- activate --no-url x86_64
  expect "a path that is no bundle, granted" 1 "Activate distribution FAILED" "error: OstrakelErrorDomain 111" \
    -- activate "$LTD/TeX Live 2024" x86_64
  [[ $(log_count "Credentials OK") -eq 2 ]] || fail "the granted retries did not run"
  as_user=""
else
  echo "skip: polkit and test users are not available for the granted retries"
fi

service_alive || fail "the service died"
finish
