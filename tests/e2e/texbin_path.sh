#!/usr/bin/env bash
# /usr/texbin on PATH: the login-shell file adds it once, at the end, whatever
# the shell and however often it is read; the systemd user-session file
# appends it to the session's PATH.
source "$(dirname "$0")/lib/e2e.bash"
profile=$source_dir/packaging/profile.sh

for shell in sh bash; do
  for start in /usr/bin:/bin /usr/texbin:/usr/bin:/bin /usr/bin:/usr/texbin/bin; do
    got=$(env -i PATH="$start" "$shell" -c '. "$1"; . "$1"; printf %s "$PATH"' "$shell" "$profile")
    case $start in
      *:/usr/texbin:* | /usr/texbin:*) want=$start ;;
      *) want=$start:/usr/texbin ;;
    esac
    [[ $got == "$want" ]] || fail "$shell with PATH=$start: got $got, want $want"
  done
  # An unset PATH gains no empty element (which would mean the current folder).
  got=$(env -i "$(command -v "$shell")" -c 'unset PATH; . "$1"; printf %s "$PATH"' "$shell" "$profile")
  [[ $got == /usr/texbin ]] || fail "$shell with no PATH: got $got"
done

# systemd's own reader of environment.d files, pointed at a private copy.
generator=/usr/lib/systemd/user-environment-generators/30-systemd-environment-d-generator
if [[ -x $generator ]]; then
  config=$work/config
  mkdir -p "$config/environment.d"
  cp "$source_dir/packaging/environment.conf" "$config/environment.d/60-ostrakel.conf"
  got=$(env -i PATH=/usr/bin:/bin XDG_CONFIG_HOME="$config" "$generator" | grep '^PATH=')
  [[ $got == PATH=/usr/bin:/bin:/usr/texbin ]] || fail "environment.d: got $got"
  got=$(env -i XDG_CONFIG_HOME="$config" "$generator" | grep '^PATH=')
  [[ $got == PATH=/usr/texbin ]] || fail "environment.d with no PATH: got $got"
else
  echo "note: no systemd environment generator here; environment.d file not read back"
fi
finish
