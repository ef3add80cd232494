#!/usr/bin/env bash
# Builds the fuzz targets in their own tree (clang, libFuzzer, ASan, UBSan),
# replays every saved regression input, then fuzzes each target for
# FUZZ_SECONDS (default 30) from a copy of its committed seed corpus.
# A crash fails the run; its input is kept under build-fuzz/fuzz/findings/
# and belongs in bench/fuzz/regressions/TARGET/ once understood and fixed.
#   bench/fuzz/run.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$here/${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-30}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DOSTRAKEL_FUZZ=ON -DOSTRAKEL_SANITIZE=ON -DOSTRAKEL_TESTS=OFF >/dev/null
targets=()
for source in "$here"/bench/fuzz/Fuzz*.cpp; do
  name=$(basename "$source" .cpp)
  name=fuzz-$(sed -E 's/^Fuzz//; s/([a-z])([A-Z])/\1-\2/g' <<<"$name" | tr 'A-Z' 'a-z')
  cmake --build "$build" --target help | grep " $name\$" >/dev/null && targets+=("$name")
done
((${#targets[@]})) || { echo "fuzz: no target can be built yet"; exit 0; }
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
status=0
for target in "${targets[@]}"; do
  kind=${target#fuzz-}
  kind=${kind%%-*}
  regressions=$here/bench/fuzz/regressions/$target
  if compgen -G "$regressions/*" >/dev/null; then
    echo "fuzz: $target replays $(ls "$regressions" | wc -l) regression inputs"
    "$build/fuzz/$target" "$regressions"/* >"$build/fuzz/$target.replay.log" 2>&1 ||
      { status=1; tail -30 "$build/fuzz/$target.replay.log"; }
  fi
  corpus=$(mktemp -d)
  cp "$here/bench/fuzz/corpus/$kind"/* "$corpus"/
  findings=$build/fuzz/findings/$target
  mkdir -p "$findings"
  echo "fuzz: $target for ${seconds}s"
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -artifact_prefix="$findings/" -print_final_stats=1 "$corpus" >"$build/fuzz/$target.log" 2>&1; then
    status=1
    tail -40 "$build/fuzz/$target.log"
    echo "fuzz: $target found a fault; inputs in $findings"
  else
    grep -E "stat::number_of_executed_units|cov:" "$build/fuzz/$target.log" | tail -2
  fi
  rm -rf "$corpus"
done
exit $status
