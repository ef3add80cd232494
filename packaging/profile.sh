# Puts the active TeX distribution's programs (the /usr/texbin link that
# `ostrakel use` points at a distribution) on the PATH of login shells.
# Installed as /etc/profile.d/ostrakel.sh; sourced by sh, dash and bash.
# Added once, at the end, so that a session whose PATH already holds it (a
# desktop session given it by systemd's environment.d) keeps its order.
case ":${PATH-}:" in
  *:/usr/texbin:*) ;;
  *) PATH="${PATH:+${PATH}:}/usr/texbin"; export PATH ;;
esac
