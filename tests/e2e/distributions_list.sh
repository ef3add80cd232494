#!/usr/bin/env bash
# --list, --list-long and --active on a layout with several bundles, a second
# volume, copies that must be dropped and bundles that are no distribution.
source "$(dirname "$0")/lib/e2e.bash"
set -e

bundle $LTD "Sample TeX 2014" x86_64 i386
bundle $LTD "Sample TeX 2015" x86_64
bundle $LTD "2013" i386
bundle $LTD "Broken"                         # no binary set
bundle $LTD "Darwin" x86_64-darwin           # not a runnable name
mkdir -p "$root$LTD/Upper.VELMAR/Contents/Programs/x86_64"
touch "$root$LTD/readme.txt"
# One folder under two names gives one entry.
bundle $LTD "Merged (x)" x86_64
ln -s x86_64 "$root$LTD/Merged (x).velmar/Contents/Programs/i386"
# A dangling and a looping link next to a real binary set.
bundle $LTD "Odd \"Quotes\" été" i386
ln -s nowhere "$root$LTD/Odd \"Quotes\" été.velmar/Contents/Programs/x86_64"
ln -s texbin "$root$LTD/Odd \"Quotes\" été.velmar/Contents/Programs/texbin"
# Another volume: a copy by name (all parsed names empty) and one by number
# are dropped; a new number is kept. Hidden volumes are not looked at.
bundle /Volumes/Ext$LTD "Copy TeX" x86_64
bundle /Volumes/Ext$LTD "2013" x86_64
bundle /Volumes/Ext$LTD "2016(Ext)" x86_64
bundle /Volumes/.Hidden$LTD "2017" x86_64

stamp "$LTD/2013.velmar" "2013-06-01 12:00"
stamp "$LTD/Sample TeX 2014.velmar" "2014-06-01 12:00"
stamp "$LTD/Sample TeX 2015.velmar" "2015-06-01 12:00"
stamp "$LTD/Merged (x).velmar" "2012-06-01 12:00"
stamp "$LTD/Odd \"Quotes\" été.velmar" "2012-06-01 12:00"
stamp "/Volumes/Ext$LTD/2016(Ext).velmar" "2016-06-01 12:00"

run --list
expect_out "--list: newest first, copies dropped, one line per architecture" \
"$(args "$helper" --list)
\"2016(Ext)\" \"x86_64\"
\"Sample TeX 2015\" \"x86_64\"
\"Sample TeX 2014\" \"x86_64\"
\"Sample TeX 2014\" \"i386\"
\"2013\" \"i386\"
\"Merged (x)\" \"x86_64\"
\"Odd \"Quotes\" été\" \"i386\"
$started"

run --active
expect_out "--active: nothing active" "$(args "$helper" --active)
$started"

mkdir -p "$root$LTD/.DefaultTeX"
ln -s "../Sample TeX 2014.velmar/Contents" "$root$LTD/.DefaultTeX/Contents"
ln -s i386 "$root$LTD/Sample TeX 2014.velmar/Contents/Programs/texbin"
run --active
expect_out "--active: the designated bridge and entry" "$(args "$helper" --active)
\"Sample TeX 2014\" \"i386\"
$started"

ln -sfn bogus "$root$LTD/Sample TeX 2014.velmar/Contents/Programs/texbin"
run --active
expect_out "--active: an active bridge without an active entry" "$(args "$helper" --active)
\"Sample TeX 2014\" \"(null)\"
$started"

run --list-long
long=$(printf '%s' "$out" | sed -E 's/0x[0-9a-f]+/0xID/g')
out=$long
entry() {  # entry BRIDGE NAME SOURCE FOLDER NAMES...
  local bridge=$1 name=$2 source=$3 folder=$4
  shift 4
  printf '< Architecture: 0xID\n  Localized description: %s\n  Bridge: %s\n  Name: %s\n' "$name" "$bridge" "$name"
  printf '  Source (in Programs folder): %s\n  Destination Folder: %s\n' "$source" "$folder"
  printf '  Minimum OS (including): 10.0.0\n  Maximum OS (excluding): None\n  All names:\n{('
  local first=1 n
  for n in "$@"; do
    if ((first)); then printf '\n    %s' "$n"; else printf ',\n    %s' "$n"; fi
    first=0
  done
  printf '\n)}\n>\n'
}
expect_out "--list-long: one report per entry" "$(args "$helper" --list-long)
$(entry "2016(Ext)" x86_64 x86_64 "/Volumes/Ext$LTD/2016(Ext).velmar/Contents/Programs/x86_64" x86_64)
$(entry "Sample TeX 2015" x86_64 x86_64 "$LTD/Sample TeX 2015.velmar/Contents/Programs/x86_64" x86_64)
$(entry "Sample TeX 2014" x86_64 x86_64 "$LTD/Sample TeX 2014.velmar/Contents/Programs/x86_64" x86_64)
$(entry "Sample TeX 2014" i386 i386 "$LTD/Sample TeX 2014.velmar/Contents/Programs/i386" i386)
$(entry "2013" i386 i386 "$LTD/2013.velmar/Contents/Programs/i386" i386)
$(entry "Merged (x)" x86_64 x86_64 "$LTD/Merged (x).velmar/Contents/Programs/x86_64" x86_64)
$(entry "Odd \"Quotes\" été" i386 i386 "$LTD/Odd \"Quotes\" été.velmar/Contents/Programs/i386" i386)
$started"

# Listing changes nothing on disk.
expect_eq "no link made by listing" "<no link>" "$(link_text "$LTD/Sample TeX 2015.velmar/Contents/Programs/texbin")"

finish
