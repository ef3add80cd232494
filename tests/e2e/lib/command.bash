# Shared by the ostrakel_*.sh scenarios (sourced after service.bash): the
# ostrakel command copied where every test user can run it, and a runner
# that keeps its exit status and both outputs.
ostrakel="$root/bin/ostrakel"
install -m 755 "$build/ostrakel" "$ostrakel"

# run_as USER ARGS...: runs `ostrakel --root $root ARGS...` as USER ("" for
# root) without a terminal; sets $status, and $work/out and $work/err.
run_as() {
  local user=$1
  shift
  local runner=()
  [[ -n $user ]] && runner=(setpriv --reuid="$user" --regid="$user" --clear-groups)
  timeout 60 "${runner[@]}" "$ostrakel" --root "$root" "$@" >"$work/out" 2>"$work/err" </dev/null
  status=$?
}

# check NAME STATUS [TEXT]: the last run ended with STATUS and, when TEXT is
# given, printed it on standard output or standard error.
check() {
  [[ $status -eq $2 ]] || fail "$1: exit status $status, expected $2: $(head -c 400 "$work/err")"
  if (($# > 2)) && ! grep -qF -- "$3" "$work/out" "$work/err"; then
    fail "$1: no '$3' in: $(cat "$work/out" "$work/err" | head -c 600)"
  fi
}

# json EXPRESSION: evaluates a Python expression over the JSON the last run
# printed (bound to `d`); names with bytes that are not UTF-8 come back with
# surrogate escapes, so `b(name)` gives their bytes.
json() {
  python3 -c '
import json, sys
d = json.loads(open(sys.argv[1], "rb").read().decode("ascii"))
b = lambda s: s.encode("utf-8", "surrogateescape")
print(eval(sys.argv[2]))' "$work/out" "$1"
}
