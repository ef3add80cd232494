#!/usr/bin/env bash
# Installs the dependencies, builds, and runs every test: once in a plain debug
# build (build/) and once under AddressSanitizer and UBSan (build-asan/).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh" build
bash "$here/scripts/build.sh" build-asan -DOSTRAKEL_SANITIZE=ON
status=0
ctest --test-dir "$here/build-asan" --output-on-failure -j2 || status=1
ctest --test-dir "$here/build" --output-on-failure -j2 || status=1
# The fuzz targets, 30 s each in their own clang tree, after replaying the
# inputs of every fault they found before.
bash "$here/bench/fuzz/run.sh" build-fuzz || status=1
exit $status
