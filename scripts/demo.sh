#!/usr/bin/env bash
# Installs the dependencies, builds, and shows Ostrakel at work: a sample
# layout in a temporary system root, the service started on it, a distribution
# activated through the client, and the resulting chain of links.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh" build
helper="$here/build/brennick.Helper"
client="$here/build/ostrakel-client"

root=$(mktemp -d /tmp/ostrakel-demo.XXXXXX)
service=""
cleanup() { [ -n "$service" ] && kill "$service" 2>/dev/null; wait 2>/dev/null; rm -rf "$root"; }
trap cleanup EXIT
export OSTRAKEL_ROOT="$root" HOME="/var/root"
mkdir -p "$root/var/run" "$root/var/root" "$root/dev"
bash "$here/scripts/sample-layout.sh" "$root"

step() { printf '\n== %s\n' "$*"; }
step "Distributions found in $root (brennick.Helper --list)"
"$helper" --list; echo

step "Starting the service (brennick.Helper --launch-service --version 271)"
"$helper" --launch-service --version 271 >/dev/null 2>&1 &
service=$!
for _ in $(seq 50); do [ -S "$root/var/run/brennick.Helper.socket" ] && break; sleep 0.1; done
echo "service version: $("$client" version)"

step "Activating Sample TeX 2024 with x86_64 through the client"
"$client" activate "/Library/TeX/Distributions/Sample TeX 2024.velmar" x86_64
step "Repairing the context (texbin chain and the bridges' own links)"
"$client" fix-context
step "Activating it again is skipped"
"$client" activate "/Library/TeX/Distributions/Sample TeX 2024.velmar" x86_64

step "The chain"
for link in /usr/texbin /Library/TeX/Distributions/Programs/texbin \
            /Library/TeX/Distributions/.DefaultTeX/Contents \
            "/Library/TeX/Distributions/Sample TeX 2024.velmar/Contents/Programs/texbin"; do
  printf '%-75s -> %s\n' "$link" "$(readlink "$root$link")"
done
printf '%s\n' "running \$ROOT/usr/texbin/tex: $("$root/usr/texbin/tex")"
step "brennick.Helper --active"
"$helper" --active; echo

step "The ostrakel command: list, use by number, show"
ostrakel="$here/build/ostrakel"
"$ostrakel" list
"$ostrakel" use 1
"$ostrakel" show
