#!/usr/bin/env bash
# Runs a command with the services the authorization tests need, and removes
# them afterwards: scripts/test-services.sh COMMAND [ARG...]
#
# A private system bus (its address exported as DBUS_SYSTEM_BUS_ADDRESS),
# polkitd on it, the helper's polkit policy, three test users and a rule that
# grants every helper right to the first, refuses them to the second and
# leaves the third to the policy's defaults (no agent: no way to ask).
# Exported for the tests: OSTRAKEL_TEST_SERVICES=1 and
# OSTRAKEL_TEST_USER_GRANTED, OSTRAKEL_TEST_USER_DENIED, OSTRAKEL_TEST_USER_PLAIN.
# Already inside such a run, the command simply runs.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
(($#)) || { echo "usage: $0 COMMAND [ARG...]" >&2; exit 2; }
if [[ -n "${OSTRAKEL_TEST_SERVICES:-}" ]]; then
  exec "$@"
fi

polkitd=/usr/lib/polkit-1/polkitd
if [[ $(id -u) -ne 0 || ! -x $polkitd ]] || ! command -v dbus-daemon >/dev/null || ! command -v useradd >/dev/null; then
  echo "test-services: needs root, dbus-daemon, useradd and polkitd; running without them" >&2
  exec "$@"
fi

tag=$$
work=$(mktemp -d /tmp/ostrakel-services-XXXXXX)
chmod 755 "$work"
policy=/usr/share/polkit-1/actions/brennick.Helper.test-$tag.policy
rules=/etc/polkit-1/rules.d/49-ostrakel-test-$tag.rules
users=("ostrakel-ok-$tag" "ostrakel-no-$tag" "ostrakel-plain-$tag")
created=()
dbus_pid="" polkit_pid=""

cleanup() {
  [[ -n $polkit_pid ]] && kill "$polkit_pid" 2>/dev/null && wait "$polkit_pid" 2>/dev/null
  [[ -n $dbus_pid ]] && kill "$dbus_pid" 2>/dev/null
  rm -f "$policy" "$rules"
  for user in "${created[@]}"; do userdel "$user" >/dev/null 2>&1; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for user in "${users[@]}"; do
  if ! id "$user" >/dev/null 2>&1; then
    useradd --system --user-group --no-create-home --shell /usr/sbin/nologin "$user" && created+=("$user")
  fi
done

cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
dbus_pid=$(dbus-daemon --config-file="$work/bus.conf" --fork --print-pid) || { echo "test-services: no bus" >&2; exit 1; }
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus_socket"

install -m 644 "$here/packaging/brennick.Helper.policy" "$policy"
cat >"$rules" <<RULES
// Test rule of one Ostrakel test run; removed when the run ends.
polkit.addRule(function(action, subject) {
  if (action.id.indexOf("brennick.Helper.admin.") != 0) return polkit.Result.NOT_HANDLED;
  polkit.log("ostrakel-test prompt: " + action.id + ": " + action.lookup("polkit.message"));
  if (subject.user == "${users[0]}") return polkit.Result.YES;
  if (subject.user == "${users[1]}") return polkit.Result.NO;
  return polkit.Result.NOT_HANDLED;
});
RULES
chmod 644 "$rules"

"$polkitd" >"$work/polkitd.log" 2>&1 &
polkit_pid=$!
for _ in $(seq 100); do
  if dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
       org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2>/dev/null | grep -q 'boolean true'; then
    break
  fi
  sleep 0.1
done

export OSTRAKEL_TEST_SERVICES=1
# What polkitd logs, the prompts the rules saw among it.
export OSTRAKEL_TEST_POLKIT_LOG=$work/polkitd.log
export OSTRAKEL_TEST_USER_GRANTED=${users[0]} OSTRAKEL_TEST_USER_DENIED=${users[1]} OSTRAKEL_TEST_USER_PLAIN=${users[2]}
"$@"
status=$?
exit $status
