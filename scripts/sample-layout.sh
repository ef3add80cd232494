#!/usr/bin/env bash
# Builds a sample TeX layout inside a system root: scripts/sample-layout.sh ROOT
# Two distributions, each with a 64-bit Intel binary set (and an "i386" name
# for the same folder), plus a third on an external volume.
set -euo pipefail
root=${1:?usage: sample-layout.sh ROOT}

make_bundle() {  # make_bundle FOLDER NAME YEAR-MODIFIED
  local bundle="$1/$2.velmar"
  mkdir -p "$bundle/Contents/Programs/x86_64-darwin"
  for program in tex pdftex xetex; do
    printf '#!/bin/sh\necho "%s from %s"\n' "$program" "$2" > "$bundle/Contents/Programs/x86_64-darwin/$program"
    chmod 755 "$bundle/Contents/Programs/x86_64-darwin/$program"
  done
  ln -sfn x86_64-darwin "$bundle/Contents/Programs/x86_64"
  ln -sfn x86_64-darwin "$bundle/Contents/Programs/i386"
  cat > "$bundle/Contents/Info.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>LSMinimumSystemVersion</key><string>10.6.0</string>
</dict>
</plist>
PLIST
  touch -h -d "$3" "$bundle"
}

make_bundle "$root/Library/TeX/Distributions" "Sample TeX 2024" "2024-06-01 12:00"
make_bundle "$root/Library/TeX/Distributions" "Sample TeX 2025" "2025-06-01 12:00"
make_bundle "$root/Volumes/External/Library/TeX/Distributions" "2023 (External)" "2023-06-01 12:00"
