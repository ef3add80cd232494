#!/usr/bin/env bash
# The helper executable carries its information property list in the ELF
# section ".info_plist", readable with the standard tools, and it agrees with
# what the program and its socket unit actually use.
source "$(dirname "$0")/lib/e2e.bash"

objcopy --dump-section .info_plist="$work/Info.plist" "$build/brennick.Helper" "$work/copy" || {
  echo "FAIL: no .info_plist section" >&2
  exit 1
}
build_number=$(OSTRAKEL_ROOT="$work" "$build/brennick.Helper" --build-version | sed -n 's/^Build version: //p')
socket=$(sed -n 's/^ListenStream=//p' "$source_dir/packaging/brennick.Helper.socket")
python3 - "$work/Info.plist" "$build_number" "$socket" <<'PY'
import plistlib, sys
path, build, socket = sys.argv[1:]
with open(path, "rb") as f:
    info = plistlib.load(f)
job = info["launchd-plist"]
checks = {
    "identifier": info["CFBundleIdentifier"] == "brennick.Helper",
    "build": info["OstrakelBuild"] == build == "271",
    "authorized clients": len(info["SMAuthorizedClients"]) == 1 and "polkit" in info["SMAuthorizedClients"][0],
    "job label": job["Label"] == info["CFBundleIdentifier"],
    "job socket": job["Sockets"]["brennick.Helper"]["SockPathName"] == socket,
}
failed = [name for name, ok in checks.items() if not ok]
for name in failed:
    print("FAIL:", name, file=sys.stderr)
sys.exit(1 if failed else 0)
PY
status=$?
((status == 0)) && echo "all passed"
exit $status
