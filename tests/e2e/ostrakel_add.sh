#!/usr/bin/env bash
# ostrakel add and remove end to end: a TeX Live tree wrapped as a bundle in
# the distributions folder through the service (under its own polkit right)
# or in a folder of the user's own, the installation never written, and
# only bundles that add made, never the active one, taken away again.
needs_services=1 source "$(dirname "$0")/lib/e2e.bash"
make_layout
tree=/opt/texlive/2024
for platform in x86_64-linux aarch64-linux; do
  mkdir -p "$root$tree/bin/$platform"
  printf '#!/bin/sh\necho "pdfTeX of %s"\n' "$platform" >"$root$tree/bin/$platform/pdftex"
  chmod 755 "$root$tree/bin/$platform/pdftex"
done
mkdir -p "$root$tree/bin/win64" "$root$tree/texmf-dist"
chmod -R a+rX "$root/opt"
fingerprint() { (cd "$root$tree" && find . -printf '%p %y %m %s %T@\n' | sort | md5sum); }
installation=$(fingerprint)
start_service

bundle="$ltd/TeX Live 2024.velmar"
if [[ -n "${OSTRAKEL_TEST_USER_GRANTED:-}" ]]; then
  run_as "$OSTRAKEL_TEST_USER_PLAIN" add "$tree"
  check "no agent to ask" 1 "run it from a terminal"
  [[ -e $bundle ]] && fail "a refused add made the bundle"
  run_as "$OSTRAKEL_TEST_USER_GRANTED" add "$tree"
  check "granted add" 0 "Added \"TeX Live 2024\" (binary sets x86_64, arm64)"
  [[ $(log_count 'add_distribution "/Library/TeX/Distributions/TeX Live 2024.velmar": done after authorization') -eq 1 ]] ||
    fail "no level-5 line for the add"
else
  run_as "" add "$tree"
  check "add" 0 "Added \"TeX Live 2024\" (binary sets x86_64, arm64)"
fi
[[ $(readlink "$bundle/Contents/Programs/x86_64") == "$tree/bin/x86_64-linux" &&
   $(readlink "$bundle/Contents/Programs/arm64") == "$tree/bin/aarch64-linux" &&
   $(readlink "$bundle/Contents/Programs/texbin") == x86_64 ]] || fail "bundle links: $(ls -l "$bundle/Contents/Programs")"
grep -q OstrakelInstallation "$bundle/Contents/Info.plist" || fail "the bundle is not marked"
run_as "" list --json
[[ $(json '[x["architectures"] for x in d if x["name"] == "TeX Live 2024"]') == "[['x86_64']]" ]] ||
  fail "the new distribution is not listed: $(cat "$work/out")"
run_as "" add "$tree"
check "taken name" 1 "choose another name with --name NAME"

# Into a folder of the user's own: no service, no right needed.
plain=${OSTRAKEL_TEST_USER_PLAIN:-}
mkdir -p "$root/Users/tester/TeX"
[[ -n $plain ]] && chown "$plain" "$root/Users/tester/TeX"
run_as "$plain" add "$tree/bin/x86_64-linux" --name "Mine" --into /Users/tester/TeX
check "add --into" 0 "Added \"Mine\" (binary sets x86_64)"
[[ $(readlink "$root/Users/tester/TeX/Mine.velmar/Contents/Programs/x86_64") == "$tree/bin/x86_64-linux" ]] ||
  fail "plain folder not wrapped"
run_as "" add /opt/texlive --into /Users/tester/TeX
check "no TeX there" 1 "holds no TeX"

# Removal: never the active one, never one add did not make, never the installation.
run_as "" use "TeX Live 2024"
check "use the added one" 0 "is now the active distribution"
run_as "" remove "TeX Live 2024"
check "active refused" 1 "is the active one"
run_as "" remove "Sample TeX 2024"
check "foreign refused" 1 "was not made by \"ostrakel add\""
run_as "" use "Sample TeX 2025"
if [[ -n "${OSTRAKEL_TEST_USER_DENIED:-}" ]]; then
  run_as "$OSTRAKEL_TEST_USER_DENIED" remove "TeX Live 2024"
  check "denied removal" 1 "polkit refused you the right brennick.Helper.admin.add_distribution"
fi
run_as "" remove "TeX Live 2024"
check "remove" 0 "Removed \"TeX Live 2024\""
[[ -e $bundle ]] && fail "the bundle is still there"
run_as "$plain" remove /Users/tester/TeX/Mine.velmar
check "remove from the user's folder" 0 "Removed \"Mine\""
[[ $(fingerprint) == "$installation" ]] || fail "the installation was written"
finish
