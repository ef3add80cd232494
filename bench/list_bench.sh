#!/usr/bin/env bash
# Times "--list" on layouts of 10, 100 and 1,000 bundles in a temporary root
# and prints the cost per bundle. Every listing reads every bundle once, so the
# cost should grow linearly.
# Usage: bench/list_bench.sh [BUILD_DIR]   (default: build)
# Figures are meaningful for an optimised build, for example:
#   cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DOSTRAKEL_TESTS=OFF
#   cmake --build build-release --target brennick.Helper
#   bench/list_bench.sh build-release
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${OSTRAKEL_BUILD:-$here/build}}
helper="$build/brennick.Helper"
[[ -x "$helper" ]] || { echo "no helper at $helper; build first" >&2; exit 1; }
runs=${RUNS:-5}

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrakel-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

make_layout() {  # make_layout ROOT COUNT
  local root=$1 count=$2 i b
  local ltd="$root/Library/TeX/Distributions"
  mkdir -p "$ltd"
  for ((i = 0; i < count; i++)); do
    b="$ltd/TeX $i.velmar/Contents"
    mkdir -p "$b/Programs/x86_64" "$b/Programs/i386"
    printf '#!/bin/sh\n' >"$b/Programs/x86_64/pdftex"
    printf '#!/bin/sh\n' >"$b/Programs/i386/pdftex"
    chmod 755 "$b/Programs/x86_64/pdftex" "$b/Programs/i386/pdftex"
    ln -s x86_64 "$b/Programs/texbin"
    printf '<?xml version="1.0"?><plist version="1.0"><dict><key>LSMinimumSystemVersion</key><string>10.6</string></dict></plist>' >"$b/Info.plist"
    touch -d "@$((1400000000 + i))" "$ltd/TeX $i.velmar"
  done
}

now_ns() { date +%s%N; }

printf '%8s %12s %14s   (best of %d runs, whole process)\n' bundles "ms/--list" "us/bundle" "$runs"
for count in 10 100 1000; do
  root="$work/root-$count"
  make_layout "$root" "$count"
  lines=$(OSTRAKEL_ROOT="$root" "$helper" --list 2>/dev/null | grep -c '^"' || true)
  [[ "$lines" == $((count * 2)) ]] || { echo "expected $((count * 2)) lines, got $lines" >&2; exit 1; }
  if command -v farm-bench >/dev/null; then
    echo "--- farm-bench, $count bundles (quote the median wall time; divide by $count):"
    OSTRAKEL_ROOT="$root" farm-bench -n "$runs" --timeout 600 -- "$helper" --list | sed 's/^/    /'
  fi
  best=
  for ((r = 0; r < runs; r++)); do
    start=$(now_ns)
    OSTRAKEL_ROOT="$root" "$helper" --list >/dev/null 2>&1
    elapsed=$(($(now_ns) - start))
    if [[ -z "$best" || $elapsed -lt $best ]]; then best=$elapsed; fi
  done
  printf '%8d %12.2f %14.1f\n' "$count" "$(echo "$best / 1000000" | bc -l)" "$(echo "$best / 1000 / $count" | bc -l)"
done
