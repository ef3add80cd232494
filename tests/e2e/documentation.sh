#!/usr/bin/env bash
# The manual pages render without a single warning, and an installation with
# the prefix /usr puts every file where the system looks for it (/etc for the
# login-shell file, not /usr/etc).
set -uo pipefail
source_dir=${OSTRAKEL_SOURCE:?OSTRAKEL_SOURCE must name the source directory}
build=${OSTRAKEL_BUILD:?OSTRAKEL_BUILD must name the build directory}
stage=$(mktemp -d /tmp/ostrakel-install-XXXXXX)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

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

((failures == 0)) || exit 1
echo "documentation: all checks passed"
