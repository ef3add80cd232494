#!/usr/bin/env bash
# Builds the Debian package from a copy of the sources in OUT/src (default
# build-deb/), so that the checkout stays clean and the results land in OUT:
# scripts/build-package.sh [OUT]. The package itself is built the way a
# maintainer builds it (dpkg-buildpackage -us -uc -b); a package already built
# from the same sources is kept.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/build-deb}
mkdir -p "$out"
out=$(cd "$out" && pwd)
# Every source file the package is built from: no build tree, and neither the
# tests nor the benchmarks, which the package build leaves out.
sources() {
  tar -C "$here" "$@" --sort=name --exclude-vcs --exclude='./build' --exclude='./build-*' --exclude='./obj-*' \
    --exclude='./debian/ostrakel' --exclude='./debian/.debhelper' --exclude='./debian/files' \
    --exclude='./debian/*.substvars' --exclude='./debian/*.debhelper*' --exclude='./debian/debhelper-build-stamp' \
    --exclude='./tests' --exclude='./bench' --exclude='./.ci' -cf - .
}
# A package built from the very same sources (names, modes and contents) is
# used again.
digest=$(sources --mtime=@0 --owner=0 --group=0 --numeric-owner | sha256sum | cut -d' ' -f1)
if [[ -f $out/sources.sha256 && $(cat "$out/sources.sha256") == "$digest" ]] && compgen -G "$out/*.changes" >/dev/null; then
  echo "build-package: $out holds the package of these sources"
  exit 0
fi
rm -rf "$out/src" "$out/sources.sha256" "$out"/*.deb "$out"/*.ddeb "$out"/*.changes "$out"/*.buildinfo
mkdir "$out/src"
sources | tar -C "$out/src" -xf -
# debhelper gives the build a HOME of its own: a compiler cache found through
# HOME would start empty every time.
if [[ -n ${CMAKE_CXX_COMPILER_LAUNCHER:-} && -z ${CCACHE_DIR:-} ]] && command -v ccache >/dev/null; then
  CCACHE_DIR=$(ccache --get-config cache_dir)
  export CCACHE_DIR
fi
(cd "$out/src" && dpkg-buildpackage -us -uc -b)
echo "$digest" >"$out/sources.sha256"
