#!/usr/bin/env bash
# The repair requests through the running service and the client, in a
# temporary system root: context repair and its skip, the manager links (and a
# bundle name that tries to leave /Library/PreferencePanes), the job file, and
# reset with its skip.
source "$(dirname "$0")/lib/e2e.bash"
mkdir -p "$root/usr/local/bin" "$root/Library/LaunchDaemons"
bash "$source_dir/scripts/sample-layout.sh" "$root"
request() { timeout 20 "$client" --no-auth "$@" 2>&1; }
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

start_service

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

service_alive || fail "the service ended"
finish
