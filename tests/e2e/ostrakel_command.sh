#!/usr/bin/env bash
# The ostrakel command end to end against a sandbox root with the real
# service: listing names a shell or JSON could trip over, switching, showing,
# repairing and resetting, and the sentences it prints when it cannot.
needs_services=1 source "$(dirname "$0")/lib/e2e.bash"
make_layout
# Two more bundles whose names a shell, a terminal or JSON could trip over.
quote_name='Quote "TeX" $HOME\'
latin1_name=$'Caf\xe9 TeX'
for name in "$quote_name" "$latin1_name"; do
  cp -a "$ltd/Sample TeX 2024.velmar" "$ltd/$name.velmar"
done
touch -d "2026-01-01 12:00" "$ltd/$latin1_name.velmar"
touch -d "2025-12-01 12:00" "$ltd/$quote_name.velmar"
start_service

run_as "" --help
check "help" 0 "usage: ostrakel"
run_as "" frobnicate
check "unknown command" 2 "no command"
run_as "" use
check "missing operand" 2 "usage: ostrakel use"

run_as "" list --json
check "list --json" 0
[[ $(json '[x["number"] for x in d]') == "[1, 2, 3, 4, 5]" ]] || fail "numbers: $(cat "$work/out")"
[[ $(json 'b(d[0]["name"]) == b"Caf\xe9 TeX" and d[1]["name"] == "Quote \"TeX\" $HOME\\"') == True ]] ||
  fail "names in discovery order, bytes kept: $(cat "$work/out")"
[[ $(json 'd[1]["path"] + "|" + str(d[1]["active"]) + "|" + str(d[1]["architectures"]) + "|" + str(d[1]["activeArchitecture"])') == \
   "/Library/TeX/Distributions/Quote \"TeX\" \$HOME\\.velmar|False|['x86_64']|None" ]] || fail "list fields: $(cat "$work/out")"

# Activation by the very bytes of a name that is not UTF-8.
run_as "" use --dry-run "$latin1_name"
check "dry run" 0 "-> ../$latin1_name.velmar/Contents"
[[ -e "$ltd/.DefaultTeX" ]] && fail "the dry run changed something"
run_as "" use "$latin1_name"
check "use by name" 0 "is now the active distribution"
[[ $(readlink "$ltd/.DefaultTeX/Contents") == "../$latin1_name.velmar/Contents" ]] || fail "not activated"
[[ $(readlink "$root/usr/texbin") == ../Library/TeX/Distributions/Programs/texbin ]] || fail "the chain was not made"
[[ $(log_count 'activate_distribution "/Library/TeX/Distributions/Caf\xe9 TeX.velmar x86_64": done') -eq 1 ]] ||
  fail "no level-5 line for the activation"
run_as "" list
check "list marks the active one" 0 "* 1  $latin1_name  [x86_64*]"
run_as "" show --json
check "show --json" 0
[[ $(json 'd["sound"] and b(d["active"]["name"]) == b"Caf\xe9 TeX" and d["activeArchitecture"] == "x86_64"') == True ]] ||
  fail "show: $(cat "$work/out")"
[[ $(json 'd["tex"]') == "/Library/TeX/Distributions/Sample TeX 2024.velmar/Contents/Programs/x86_64-darwin/tex" ]] ||
  [[ $(json 'b(d["tex"])') == "b'/Library/TeX/Distributions/Caf\\xe9 TeX.velmar/Contents/Programs/x86_64-darwin/tex'" ]] ||
  fail "where tex resolves: $(json 'd["tex"]')"
PATH=/usr/bin:/bin run_as "" show
check "show notes the PATH" 0 "PATH lacks /usr/texbin"

# A set or a distribution that does not exist is refused before the service is asked.
before=$(log_count "Request by")
as_user=$OSTRAKEL_TEST_USER_PLAIN
run_as "$OSTRAKEL_TEST_USER_PLAIN" use 2 ppc
check "missing set" 1 "has no binary set \"ppc\"; it offers x86_64"
run_as "$OSTRAKEL_TEST_USER_PLAIN" use "No Such TeX"
check "missing distribution" 1 "There is no distribution named \"No Such TeX\""
run_as "$OSTRAKEL_TEST_USER_PLAIN" use /Library/TeX/Distributions/Nothing.velmar
check "missing bundle" 1 "There is no distribution bundle at /Library/TeX/Distributions/Nothing.velmar"
[[ $(log_count "Request by") -eq $before ]] || fail "a refused choice reached the service"

# What polkit answers, in words.
if [[ -n "${OSTRAKEL_TEST_USER_GRANTED:-}" ]]; then
  run_as "$OSTRAKEL_TEST_USER_PLAIN" use 2
  check "no agent" 1 "run it from a terminal"
  grep -q NSCocoaErrorDomain "$work/err" && fail "codes without --verbose"
  run_as "$OSTRAKEL_TEST_USER_PLAIN" --verbose use 2
  check "codes with --verbose" 1 "underlying: NSCocoaErrorDomain -60007"
  run_as "$OSTRAKEL_TEST_USER_DENIED" use 2
  check "denied" 1 "polkit refused you the right brennick.Helper.admin.activate_distribution"
  run_as "$OSTRAKEL_TEST_USER_GRANTED" use 2
  check "granted" 0 "is now the active distribution"
  [[ $(log_count "Request by uid $(id -u "$OSTRAKEL_TEST_USER_GRANTED")") -ge 1 ]] || fail "no line names the caller"
fi

# Repair and reset.
rm "$root/usr/texbin"
run_as "" show
check "show names the repair" 0 "UNSOUND   /usr/texbin (missing)    repair: ostrakel repair"
run_as "" repair
check "repair" 0 "Repaired the links."
[[ -L "$root/usr/texbin" ]] || fail "repair left /usr/texbin missing"
run_as "" repair
check "repair again" 0 "Nothing to repair"
run_as "" reset --yes
check "reset" 0 "no distribution is active"
[[ -e "$ltd/.DefaultTeX" || -L "$root/usr/texbin" ]] && fail "reset left links"

# No socket: the service is not running in this root.
kill "$service_pid" && wait "$service_pid" 2>/dev/null
service_pid=""
rm -f "$socket"
run_as "" repair
check "no service" 1 "systemctl enable --now brennick.Helper.socket"

# polkitd out of reach: the service asks a bus where nobody answers.
if [[ -n "${OSTRAKEL_TEST_USER_GRANTED:-}" ]]; then
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-bus" "$helper" --launch-service --version 271 \
    >>"$work/service.out" 2>>"$work/service.err" &
  service_pid=$!
  for _ in $(seq 100); do [[ -S $socket ]] && break; sleep 0.05; done
  run_as "$OSTRAKEL_TEST_USER_GRANTED" repair
  check "polkit unreachable" 1 "polkitd, which decides who may do this, cannot be reached"
  [[ $(log_count "Authorization of brennick.Helper.admin.fix_context failed") -eq 1 ]] ||
    fail "polkit's error text was not logged"
fi
finish
