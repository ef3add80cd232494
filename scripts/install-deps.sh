#!/usr/bin/env bash
# Installs what building, testing and running Ostrakel needs on Debian (as root).
set -euo pipefail
packages=(
  build-essential cmake pkg-config git python3 bc
  libplist-dev libicu-dev libsystemd-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  dbus dbus-daemon dbus-bin polkitd pkexec gettext
  passwd util-linux dpkg-dev groff-base
  debhelper lintian libxml2-utils systemd
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
