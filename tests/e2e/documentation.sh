#!/usr/bin/env bash
# The manual pages render without a single warning, and an installation with
# the prefix /usr puts every file where the system looks for it (/etc for the
# login-shell file, not /usr/etc).
source "$(dirname "$0")/lib/e2e.bash"
stage=$work/stage

for page in ostrakel.1 ostrakel-client.1 brennick.Helper.8; do
  warnings=$(groff -z -wall -man "$source_dir/man/$page" 2>&1)
  [[ -z $warnings ]] || fail "$page: $warnings"
  # Every page names itself and says how it is called.
  text=$(groff -T utf8 -P -cbou -man "$source_dir/man/$page" 2>/dev/null)
  for section in NAME SYNOPSIS DESCRIPTION; do
    grep -q "^$section" <<<"$text" || fail "$page has no $section section"
  done
done

if ! DESTDIR=$stage cmake --install "$build" --prefix /usr >"$stage.log" 2>&1; then
  fail "cmake --install failed: $(tail -5 "$stage.log")"
fi
rm -f "$stage.log"
for file in etc/profile.d/ostrakel.sh usr/lib/environment.d/60-ostrakel.conf \
    usr/share/man/man1/ostrakel.1 usr/share/man/man1/ostrakel-client.1 \
    usr/share/man/man8/brennick.Helper.8 usr/share/bash-completion/completions/ostrakel; do
  [[ -f $stage/$file ]] || fail "not installed: /$file"
done
[[ ! -e $stage/usr/etc ]] || fail "configuration installed under /usr/etc"
finish
