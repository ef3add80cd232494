#!/usr/bin/env bash
# The service confined as its systemd unit confines it (exactly the unit's
# capability bounding set, no new privileges) still answers every request:
# root's, those of callers granted, refused and left to the defaults (whose
# first try runs with their own file-system ids), and root's in distributions
# that other users own.
here=$(dirname "$0")
export OSTRAKEL_E2E_CONFINED=1
bash "$here/service_requests.sh" || exit 1
bash "$here/service_authorization.sh" || exit 1

source "$here/lib/e2e.bash"
make_layout
# One distribution only its owner may write; one whose Programs folder is
# sticky and world-writable, holding a third user's texbin link.
owned="/Library/TeX/Distributions/Sample TeX 2024.velmar"
sticky="/Library/TeX/Distributions/Sample TeX 2025.velmar"
chown -R 4242:4242 "$root$owned" "$root$sticky"
chmod 1777 "$root$sticky/Contents/Programs"
ln -s i386 "$root$sticky/Contents/Programs/texbin"
chown -h 4343:4343 "$root$sticky/Contents/Programs/texbin"
start_service
expect "activate in a folder of another user" 0 "Activate distribution done" -- activate "$owned" x86_64
[[ $(readlink "$root$owned/Contents/Programs/texbin") == x86_64 ]] || fail "no texbin link in the owned bundle"
expect "replace another user's link in a sticky folder" 0 "Activate distribution done" -- activate "$sticky" x86_64
[[ $(readlink "$root$sticky/Contents/Programs/texbin") == x86_64 ]] || fail "the sticky folder's link was not replaced"
service_alive || fail "the service died"
finish
