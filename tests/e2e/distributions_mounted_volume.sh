#!/usr/bin/env bash
# A removable volume whose mount point holds a space (the mount table writes
# it "My\040Passport") is found: a bind mount inside a private mount
# namespace, with its mount point inside the temporary root. The host's mounts
# are never touched; the mount ends with the namespace.
source "$(dirname "$0")/lib/e2e.bash"
set -e
if [[ $(id -u) -ne 0 ]] || ! command -v unshare >/dev/null; then
  echo "SKIP: needs root and unshare for a private mount namespace"
  exit 0
fi

bundle "/stick$LTD" "Passport TeX" x86_64
mkdir -p "$root/media/user/My Passport"
export root helper
unshare --mount --propagation private bash -c '
  mount --bind "$root/stick" "$root/media/user/My Passport" || exit 3
  device=$(awk -v dir="$(realpath "$root")/media/user/My\\\\040Passport" "\$2 == dir { print \$1 }" /proc/self/mounts)
  [[ $device == /dev/* ]] || { echo "not on a block device: $device" >&2; exit 4; }
  OSTRAKEL_ROOT="$root" "$helper" --list 2>/dev/null
' >"$root/out" && status=0 || status=$?
out=$(cat "$root/out"; printf x)
out=${out%x}
if ((status == 4)); then
  echo "SKIP: the temporary folder is not on a block device"
  exit 0
fi
expect_eq "the bind mount was made" 0 "$status"
expect_out "the volume with a space is listed" "$(args "$helper" --list)
\"Passport TeX\" \"x86_64\"
$started"
finish
