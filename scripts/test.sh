#!/usr/bin/env bash
# Installs the dependencies, builds, and runs every test: the Debian package's
# test (tests/package/run.sh), the fuzz targets (30 s each, in their own clang
# tree), the end-to-end tests under ThreadSanitizer (build-tsan/), every test
# under AddressSanitizer and UBSan (build-asan/), and every test in a plain
# debug build (build/), whose summary closes the run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh" build
bash "$here/scripts/build.sh" build-asan -DOSTRAKEL_SANITIZE=ON
bash "$here/scripts/build.sh" build-tsan -DOSTRAKEL_TSAN=ON
status=0
# The Debian package: built (kept while the sources do not change), checked
# with lintian and systemd-analyze, and run from its unpacked tree.
bash "$here/tests/package/run.sh" "$here/build" || status=1
# The fuzz targets replay the inputs of every fault they found before, then
# fuzz from the committed seed corpus.
bash "$here/bench/fuzz/run.sh" build-fuzz || status=1
# The authorization tests need a system bus, polkitd and test users:
# test-services.sh starts them for the run and removes them afterwards.
bash "$here/scripts/test-services.sh" bash -c '
  status=0
  ctest --test-dir "$1/build-tsan" --output-on-failure -R "^e2e\." || status=1
  ctest --test-dir "$1/build-asan" --output-on-failure -j2 || status=1
  ctest --test-dir "$1/build" --output-on-failure -j2 || status=1
  exit $status' test-run "$here" || status=1
exit $status
