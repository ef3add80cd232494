# Shared by the load tests: a layout of bundles in a temporary root, the
# service started on it, and the check that the link chain is sound.
# Sourced; expects OSTRAKEL_BUILD and sets root, helper, socket, load.

helper="${OSTRAKEL_BUILD:?OSTRAKEL_BUILD must name the build directory}/brennick.Helper"
load="$OSTRAKEL_BUILD/bench/ostrakel-load"
makeLayout="$OSTRAKEL_BUILD/bench/ostrakel-make-layout"
root=$(mktemp -d /tmp/ostrakel-e2e-load-XXXXXX)
socket=$root/var/run/brennick.Helper.socket
ltd=$root/Library/TeX/Distributions
service_pid=
export OSTRAKEL_ROOT="$root" HOME=/Users/tester
mkdir -p "$root/Users/tester" "$root/var/run" "$root/dev"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cleanup() {
  if [[ -n $service_pid ]]; then
    kill -9 "$service_pid" 2>/dev/null
    wait "$service_pid" 2>/dev/null
  fi
  rm -rf "$root"
}
trap cleanup EXIT

# Starts the service on the root and waits until it accepts connections.
start_service() {
  rm -f "$socket"
  "$helper" --launch-service --version 271 >>"$root/service.out" 2>>"$root/service.err" &
  service_pid=$!
  for _ in $(seq 200); do
    [[ -S $socket ]] && "$load" --socket "$socket" --clients 1 --requests 1 >/dev/null 2>&1 && return 0
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.05
  done
  fail "the service did not start"
  tail -5 "$root/service.err" >&2
  return 1
}

# A sanitizer report from the service fails the test even though the service
# itself is ended by a signal and never gets to exit with the sanitizer's code.
check_sanitizers() {
  if grep -q "Sanitizer" "$root/service.err" 2>/dev/null; then
    fail "the service reported a sanitizer finding"
    grep -A30 "Sanitizer" "$root/service.err" | head -60 >&2
  fi
}

# Every bundle's own texbin link names one of its binary folders, and
# .DefaultTeX/Contents names the Contents folder of a real bundle, so that
# /usr/texbin leads to executable programs. $1 says when the check is made.
check_chain() {
  local when=$1 text bundle
  if [[ ! -L $ltd/.DefaultTeX/Contents ]]; then
    fail "$when: .DefaultTeX/Contents is not a link"
  else
    text=$(readlink "$ltd/.DefaultTeX/Contents")
    [[ $text =~ ^\.\./[^/]+\.velmar/Contents$ && -d $ltd/.DefaultTeX/$text ]] ||
      fail "$when: .DefaultTeX/Contents holds '$text', which names no bundle"
  fi
  for bundle in "$ltd"/*.velmar; do
    if [[ ! -L $bundle/Contents/Programs/texbin ]]; then
      fail "$when: $(basename "$bundle") has no texbin link"
      continue
    fi
    text=$(readlink "$bundle/Contents/Programs/texbin")
    [[ $text == x86_64 || $text == i386 ]] && [[ -x $bundle/Contents/Programs/$text/tex ]] ||
      fail "$when: $(basename "$bundle")'s texbin link holds '$text', which names no binary folder"
  done
  [[ -x $root/usr/texbin/tex ]] || fail "$when: /usr/texbin does not lead to the programs"
}
