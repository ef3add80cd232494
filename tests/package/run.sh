#!/usr/bin/env bash
# The Debian package as a user gets it: built (or kept) by
# scripts/build-package.sh, accepted by lintian, hardened, its polkit policy
# valid for polkitd and its units for systemd, and its programs, unpacked
# with dpkg-deb -x, working against a sandbox root.
# tests/package/run.sh [BUILD-TREE]: the build tree provides the test tools.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
export OSTRAKEL_SOURCE=$here OSTRAKEL_BUILD=$(cd "${1:-$here/build}" && pwd)
out=$here/build-deb
mkdir -p "$out"
bash "$here/scripts/build-package.sh" "$out" >"$out/build.log" 2>&1 ||
  { tail -40 "$out/build.log" >&2; echo "FAIL: the package did not build" >&2; exit 1; }

source "$here/tests/e2e/lib/e2e.bash"
deb=$(ls "$out"/ostrakel_*.deb)
pkg="$work/pkg"
dpkg-deb -x "$deb" "$pkg" || { fail "dpkg-deb -x failed"; finish; }
compgen -G "$out/ostrakel-dbgsym_*.deb" >/dev/null || fail "no -dbgsym package"

# No lintian error or warning (overrides carry their reasons).
lintian --allow-root --fail-on error,warning "$out"/ostrakel_*.changes >"$work/lintian" 2>&1 ||
  fail "lintian: $(grep -E '^[EW]:' "$work/lintian")"

for program in "$pkg/usr/libexec/ostrakel/brennick.Helper" "$pkg"/usr/bin/*; do
  name=${program##*/}
  readelf -W -d -h -S --dyn-syms "$program" >"$work/elf"
  grep -q 'BIND_NOW' "$work/elf" || fail "$name is not linked with bindnow"
  grep -q 'Position-Independent' "$work/elf" || fail "$name is not PIE"
  grep -q '__stack_chk_fail' "$work/elf" || fail "$name has no stack protector"
  grep -q '_chk@' "$work/elf" || fail "$name has no fortified calls"
  grep -q '\.debug_info' "$work/elf" && fail "$name is not stripped"
done

xmllint --noout --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd \
  "$pkg/usr/share/polkit-1/actions/brennick.Helper.policy" 2>"$work/xmllint" ||
  fail "the policy does not match polkit's DTD: $(head -3 "$work/xmllint")"

# systemd is not running here: the units are checked in a copy of the package
# tree that also holds the system's own targets they refer to.
units="$work/units-root"
cp -al "$pkg" "$units"
cp /lib/systemd/system/*.target /lib/systemd/system/*.slice "$units/lib/systemd/system/"
systemd-analyze verify --man=no --root="$units" brennick.Helper.socket brennick.Helper.service \
  >"$work/verify" 2>&1 || fail "systemd-analyze verify failed"
[[ -s $work/verify ]] && fail "systemd-analyze verify: $(head -3 "$work/verify")"
unit="$pkg/lib/systemd/system/brennick.Helper.service"
systemd-analyze security --offline=true --threshold=40 "$unit" >"$work/security" 2>&1 ||
  fail "service exposure above 4.0: $(grep Overall "$work/security")"
grep -qx 'ListenStream=/run/brennick.Helper.socket' "$pkg/lib/systemd/system/brennick.Helper.socket" ||
  fail "the socket does not listen on /run/brennick.Helper.socket"
grep -qx 'ExecStart=/usr/libexec/ostrakel/brennick.Helper --launch-service --version 271' "$unit" ||
  fail "the service does not start the installed helper: $(grep ExecStart "$unit")"

# The installed programs against a sandbox root.
helper="$pkg/usr/libexec/ostrakel/brennick.Helper"
client="$pkg/usr/bin/ostrakel-client"
make_layout
"$helper" --list >"$work/list" 2>&1
grep -qF '"Sample TeX 2024" "x86_64"' "$work/list" || fail "the installed helper does not list: $(head -3 "$work/list")"
start_service
expect "installed client, version" 0 "271" -- version
expect "installed client, activate" 0 "Activate distribution done" \
  -- activate "/Library/TeX/Distributions/Sample TeX 2024.velmar" x86_64
# The people's command, once the package carries it.
if [[ -x $pkg/usr/bin/ostrakel ]]; then
  "$pkg/usr/bin/ostrakel" list >"$work/ostrakel" 2>&1 </dev/null || fail "ostrakel list failed: $(head -3 "$work/ostrakel")"
  grep -qF "Sample TeX 2024" "$work/ostrakel" || fail "ostrakel list does not show the sample: $(head -3 "$work/ostrakel")"
fi
service_alive || fail "the installed service died"
finish
