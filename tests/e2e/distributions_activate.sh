#!/usr/bin/env bash
# --activate: the two link texts it writes, what it leaves alone, and the
# error descriptions it prints.
source "$(dirname "$0")/lib/e2e.bash"
set -e

E711='Error Domain=OstrakelErrorDomain Code=711 "Bad distribution name" UserInfo={NSLocalizedDescription=Bad distribution name}'

# Nothing installed: the reason the listing found nothing.
run --activate "Sample TeX 2015" x86_64
expect_out "nothing installed: the listing error" "argument:$helper
argument:--activate
Error Domain=NSPOSIXErrorDomain Code=2 \"No such file or directory\" UserInfo={NSLocalizedDescription=No such file or directory, NSFilePath=/Library/TeX/Distributions}
$(args "Sample TeX 2015" x86_64)
$started"

# An empty distributions folder: nothing to report, nothing printed.
mkdir -p "$root$LTD"
run --activate "Sample TeX 2015" x86_64
expect_out "empty folder: nothing printed" "$(args "$helper" --activate "Sample TeX 2015" x86_64)
$started"

bundle $LTD "Sample TeX 2015" x86_64 i386
bundle $LTD "Other" x86_64
bundle /Volumes/Ext$LTD "2016(Ext)" i386
ln -s x86_64 "$root$LTD/Other.velmar/Contents/Programs/texbin"
stamp "$LTD/Sample TeX 2015.velmar" "2015-06-01"
stamp "$LTD/Other.velmar" "2014-06-01"
stamp "/Volumes/Ext$LTD/2016(Ext).velmar" "2013-06-01"

run --activate "Sample TeX 2015" i386 --active
expect_out "activate by name, then --active shows it" "$(args "$helper" --activate "Sample TeX 2015" i386 --active)
\"Sample TeX 2015\" \"i386\"
$started"
expect_eq ".DefaultTeX/Contents text" "../Sample TeX 2015.velmar/Contents" "$(link_text "$LTD/.DefaultTeX/Contents")"
expect_eq "bundle texbin text" "i386" "$(link_text "$LTD/Sample TeX 2015.velmar/Contents/Programs/texbin")"
expect_eq "other bundle untouched" "x86_64" "$(link_text "$LTD/Other.velmar/Contents/Programs/texbin")"
[[ -x "$root$LTD/.DefaultTeX/Contents/Programs/texbin/pdftex" ]] && echo "ok: chain reaches pdftex" ||
  { echo "FAIL: chain does not reach pdftex"; failures=$((failures + 1)); }

# Activating what is active rewrites nothing.
before=$(stat -c %i "$root$LTD/.DefaultTeX/Contents")
run --activate "Sample TeX 2015" i386
expect_out "re-activation prints nothing" "$(args "$helper" --activate "Sample TeX 2015" i386)
$started"
expect_eq "re-activation leaves the link" "$before" "$(stat -c %i "$root$LTD/.DefaultTeX/Contents")"

# Errors: an unknown name, a wrong letter case, an architecture the bridge lacks.
for pair in "Nope|x86_64" "sample tex 2015|x86_64" "Other|i386" "Sample TeX 2015|ppc" "Sample TeX 2015|.DefaultArchitecture"; do
  name=${pair%|*} arch=${pair#*|}
  run --activate "$name" "$arch"
  expect_out "error 711 for [$name] [$arch]" "argument:$helper
argument:--activate
$E711
$(args "$name" "$arch")
$started"
done
expect_eq "failed activations changed nothing" "../Sample TeX 2015.velmar/Contents" "$(link_text "$LTD/.DefaultTeX/Contents")"

# A bridge on another volume: the link climbs to the root.
run --activate "2016(Ext)" i386 --active
expect_out "activate on another volume" "$(args "$helper" --activate "2016(Ext)" i386 --active)
\"2016(Ext)\" \"i386\"
$started"
expect_eq "climbing link text" "../../../../Volumes/Ext/Library/TeX/Distributions/2016(Ext).velmar/Contents" \
  "$(link_text "$LTD/.DefaultTeX/Contents")"

# The arguments of --activate are not consumed: "--list" as a name is tried,
# fails, and then lists.
run --activate --list x86_64
expect_out "--activate --list x86_64" "argument:$helper
argument:--activate
$E711
argument:--list
\"Sample TeX 2015\" \"x86_64\"
\"Sample TeX 2015\" \"i386\"
\"Other\" \"x86_64\"
\"2016(Ext)\" \"i386\"
argument:x86_64
$started"

# A file where .DefaultTeX belongs is replaced by the folder and the link.
rm -rf "$root$LTD/.DefaultTeX"
touch "$root$LTD/.DefaultTeX"
run --activate Other x86_64
expect_eq "file in the way replaced" "../Other.velmar/Contents" "$(link_text "$LTD/.DefaultTeX/Contents")"

finish
