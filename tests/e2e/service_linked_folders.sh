#!/usr/bin/env bash
# Folders that are symbolic links: a bundle wrapping an existing installation
# and a linked /usr/local/bin keep their links, and the links are made inside
# the folders they lead to; a link a volume's owner puts in a bundle never
# leads a granted repair or activation out of that volume; a link operation
# clears the temporary links killed processes left in its folder.
needs_services=1 source "$(dirname "$0")/lib/e2e.bash"
make_layout

# A bundle whose programs are those of an installation elsewhere.
texlive=$root/usr/local/texlive/2022/bin
mkdir -p "$texlive/x86_64" "$root$LTD/TeX Live 2022.velmar/Contents"
printf '#!/bin/sh\n' >"$texlive/x86_64/tex"
chmod 755 "$texlive/x86_64/tex"
ln -s /usr/local/texlive/2022/bin "$root$LTD/TeX Live 2022.velmar/Contents/Programs"
touch -h -d "2022-06-01" "$root$LTD/TeX Live 2022.velmar"
# A system whose /usr/local/bin is a link.
rm -r "$root/usr/local/bin"
mkdir -p "$root/usr/local/bin.real"
ln -s bin.real "$root/usr/local/bin"

OSTRAKEL_ROOT=$root "$helper" --activate "TeX Live 2022" x86_64 >/dev/null 2>&1
[[ -L "$root$LTD/TeX Live 2022.velmar/Contents/Programs" ]] || fail "activation replaced the linked Programs folder"
[[ $(readlink "$texlive/texbin") == x86_64 ]] || fail "activation did not link texbin inside the installation"
[[ $(readlink "$root$LTD/.DefaultTeX/Contents") == "../TeX Live 2022.velmar/Contents" ]] ||
  fail "activation did not point .DefaultTeX at the bundle"
listing=$(OSTRAKEL_ROOT=$root "$helper" --list 2>/dev/null)
[[ $listing == *'"TeX Live 2022" "x86_64"'* ]] || fail "the activated bundle is no longer listed"

start_service
rm -f "$texlive/texbin"
# What a replacement killed between its two steps leaves: a temporary link.
sh -c 'exit 0' &
dead=$!
wait "$dead"
ln -s x86_64 "$texlive/.texbin.ostrakel-$dead-0"
expect "root repairs a linked bundle" 0 "Fix distributions done" -- fix-bridges
[[ -L "$root$LTD/TeX Live 2022.velmar/Contents/Programs" && $(readlink "$texlive/texbin") == x86_64 ]] ||
  fail "the repair did not link texbin inside the installation"
[[ -L "$texlive/.texbin.ostrakel-$dead-0" ]] && fail "a dead process's temporary link was left"
expect "manager links" 0 "Fix velmarmgr done" -- fix-velmarmgr Example.prefPane
[[ -L "$root/usr/local/bin" && -L "$root/usr/local/bin.real/velmarmgr" ]] ||
  fail "the linked /usr/local/bin was replaced"

if [[ -n "${OSTRAKEL_TEST_USER_GRANTED:-}" ]]; then
  # A user's volume whose bundle leads, through the user's own link, to
  # programs in a folder only root may write.
  plain=$OSTRAKEL_TEST_USER_PLAIN
  victim=$root/opt/victim/Contents/Programs
  mkdir -p "$victim/x86_64"
  printf '#!/bin/sh\n' >"$victim/x86_64/tex"
  chmod 755 "$victim/x86_64/tex"
  stick=/Volumes/Stick$LTD/"2022 (Stick).velmar"
  mkdir -p "$root$stick"
  ln -s /opt/victim/Contents "$root$stick/Contents"
  chown -hR "$plain" "$root/Volumes/Stick"
  as_user=$OSTRAKEL_TEST_USER_GRANTED
  timeout 60 setpriv --reuid="$as_user" --regid="$as_user" --clear-groups "$client" fix-bridges >/dev/null 2>&1
  [[ -L $victim/texbin ]] && fail "a granted repair followed the volume owner's link"
  expect "granted activation through the owner's link" 1 "Activate distribution FAILED" -- activate "$stick" x86_64
  [[ -L $victim/texbin ]] && fail "a granted activation followed the volume owner's link"
  [[ $(readlink "$root$LTD/.DefaultTeX/Contents") == *Stick* ]] && fail "a refused bundle was activated"
fi

service_alive || fail "the service died"
finish
