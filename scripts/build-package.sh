#!/usr/bin/env bash
# Builds the Debian package from a copy of the sources in OUT/src (default
# build-deb/), so that the checkout stays clean and the results land in OUT:
# scripts/build-package.sh [OUT]. The package itself is built the way a
# maintainer builds it: dpkg-buildpackage -us -uc -b.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/build-deb}
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -rf "$out/src" "$out"/*.deb "$out"/*.ddeb "$out"/*.changes "$out"/*.buildinfo
mkdir "$out/src"
# Every source file, none of the build trees.
tar -C "$here" --exclude-vcs --exclude='./build' --exclude='./build-*' --exclude='./obj-*' \
  --exclude='./debian/ostrakel' --exclude='./debian/.debhelper' -cf - . | tar -C "$out/src" -xf -
cd "$out/src"
dpkg-buildpackage -us -uc -b
