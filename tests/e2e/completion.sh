#!/usr/bin/env bash
# The bash completion of ostrakel: commands and options by position, and the
# distribution names and binary sets read from `ostrakel list --json`, the one
# way it runs the command, under the same --root. Names are decoded from JSON
# exactly (quotes, dollars, backslashes, \u escapes, bytes that are not UTF-8
# as \udcXX); a name with a control character is not offered.
source "$(dirname "$0")/lib/e2e.bash"

# A stand-in for the command that prints a listing in the documented shape
# and records how it was called.
cat >"$work/ostrakel" <<'FAKE'
#!/bin/bash
printf '%s\n' "$*" >>"${0%/*}/calls"
cat <<'JSON'
[{"number": 1, "name": "TeX Live 2024", "path": "/Library/TeX/Distributions/TeX Live 2024.velmar",
  "active": true, "architectures": ["x86_64", "i386"], "activeArchitecture": "x86_64"},
 {"number":2,"name":"Quote \"q\" $HOME \\ \/","path":"/a","active":false,"architectures":["x86_64"],"activeArchitecture":null},
 {"number":3,"name":"caf\u00e9 \ud83d\ude00","path":"/b","active":false,"architectures":["arm64"],"activeArchitecture":null},
 {"number":4,"name":"two\nlines","path":"/c","active":false,"architectures":["x86_64"],"activeArchitecture":null},
 {"number":5,"name":"\"architectures\": [\"x\"]","path":"/d","active":false,"architectures":[],"activeArchitecture":null},
 {"number":6,"name":"Caf\udce9","path":"/e","active":false,"architectures":["i386"],"activeArchitecture":null}]
JSON
FAKE
chmod 755 "$work/ostrakel"

# complete COMMAND WORD...: the candidates for the last word, one per line.
complete_words() {
  local command=$1
  shift
  OSTRAKEL_COMMAND=$command bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
           _ostrakel "$OSTRAKEL_COMMAND" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
           printf "%s\n" "${COMPREPLY[@]}"' \
    completion "$source_dir/packaging/bash-completion/ostrakel" "$@"
}
expect_words() {
  local what=$1 want=$2 got
  shift 2
  got=$(complete_words "$work/ostrakel" "$@")
  [[ $got == "$want" ]] || fail "$what: got [$got], want [$want]"
}

expect_words "commands" $'list\nshow\nuse\nrepair\nreset\nadd\nremove\nhelp' ostrakel ''
expect_words "global options" '--root' ostrakel --root /x --r
expect_words "options of list" '--json' ostrakel list -
expect_words "options of use" '--dry-run' ostrakel use 1 -
expect_words "help topics" 'repair' ostrakel help rep
expect_words "names" $'TeX Live 2024\nQuote "q" $HOME \\ /\ncafé 😀\n"architectures": ["x"]\nCaf\xe9' ostrakel use ''
expect_words "names by prefix" 'Quote "q" $HOME \ /' ostrakel remove Quo
expect_words "a number" '2' ostrakel use 2
expect_words "sets of a named distribution" $'x86_64\ni386' ostrakel use '"TeX Live 2024"' ''
expect_words "sets of a numbered one" 'arm64' ostrakel use 3 a
expect_words "sets of a name that is not UTF-8" 'i386' ostrakel use $'Caf\xe9' ''
expect_words "nothing after the set" '' ostrakel use 1 x86_64 ''
: >"$work/calls"
expect_words "names under a root" 'TeX Live 2024' ostrakel --root "'$work/r o'" --verbose use TeX
[[ $(cat "$work/calls") == "--root $work/r o list --json" ]] || fail "the command was called as: $(cat "$work/calls")"
mkdir -p "$work/tree/bin"
expect_words "folders for add" "$work/tree" ostrakel add "$work/tr"

# The real command, where it is built, on a root with two distributions.
if [[ -x $build/ostrakel ]]; then
  root=$work/root
  for name in 'TeX Live 2024' "It's \$2" $'Caf\xe9'; do
    mkdir -p "$root/Library/TeX/Distributions/$name.velmar/Contents/Programs/x86_64"
    printf '#!/bin/sh\n' >"$root/Library/TeX/Distributions/$name.velmar/Contents/Programs/x86_64/tex"
    chmod 755 "$root/Library/TeX/Distributions/$name.velmar/Contents/Programs/x86_64/tex"
  done
  mkdir -p "$root/Users/tester"
  got=$(HOME=/Users/tester complete_words "$build/ostrakel" ostrakel --root "$root" use '' | LC_ALL=C sort)
  [[ $got == $'Caf\xe9\nIt\'s $2\nTeX Live 2024' ]] || fail "real command: got [$got]"
else
  echo "note: $build/ostrakel is not built; completion checked against the documented listing only"
fi
finish
