# Shared by the distributions_*.sh scenarios: a temporary system root with
# distribution bundles in it, and the helper run against it.
set -euo pipefail

: "${OSTRAKEL_BUILD:?OSTRAKEL_BUILD must name the build directory}"
HELPER="$OSTRAKEL_BUILD/brennick.Helper"
LTD=/Library/TeX/Distributions
FAILURES=0

ROOT=$(mktemp -d "${TMPDIR:-/tmp}/ostrakel-e2e-XXXXXX")
trap 'rm -rf "$ROOT"' EXIT

# bundle FOLDER NAME [ARCH...]: FOLDER/NAME.velmar with an executable pdftex
# in each architecture folder.
bundle() {
  local folder=$1 name=$2
  shift 2
  local path="$ROOT$folder/$name.velmar"
  mkdir -p "$path/Contents/Programs"
  local arch
  for arch in "$@"; do
    mkdir -p "$path/Contents/Programs/$arch"
    printf '#!/bin/sh\nexit 0\n' >"$path/Contents/Programs/$arch/pdftex"
    chmod 755 "$path/Contents/Programs/$arch/pdftex"
  done
}

# stamp PATH DATE: the modification time of a path inside the root.
stamp() { touch -h -d "$2" "$ROOT$1"; }

# run ARGS...: the helper's standard output, byte for byte, in $OUT.
run() {
  OUT=$(OSTRAKEL_ROOT="$ROOT" "$HELPER" "$@" 2>/dev/null; printf x)
  OUT=${OUT%x}
}

# expect_out NAME EXPECTED: compares $OUT with EXPECTED exactly.
expect_out() {
  if [[ "$OUT" != "$2" ]]; then
    echo "FAIL: $1"
    diff <(printf '%s' "$2") <(printf '%s' "$OUT") || true
    FAILURES=$((FAILURES + 1))
  else
    echo "ok: $1"
  fi
}

# expect_eq NAME EXPECTED ACTUAL
expect_eq() {
  if [[ "$3" != "$2" ]]; then
    echo "FAIL: $1: expected [$2], got [$3]"
    FAILURES=$((FAILURES + 1))
  else
    echo "ok: $1"
  fi
}

link_text() { readlink "$ROOT$1" || echo "<no link>"; }

# args ARG...: the echo lines the argument walk writes for the given arguments.
args() {
  local a
  for a in "$@"; do printf 'argument:%s\n' "$a"; done
}

STARTED="LOGGER STARTED (printf)"

finish() {
  if ((FAILURES)); then
    echo "$FAILURES check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
