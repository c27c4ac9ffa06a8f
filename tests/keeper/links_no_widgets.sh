#!/usr/bin/env bash
# The network robot runs on servers without a desktop: its dynamic section must
# name no Qt Gui, Widgets or Multimedia library.
set -euo pipefail
binary=$1
needed=$(readelf -d "$binary" | grep NEEDED)
echo "$needed"
if grep -qE 'libQt6(Gui|Widgets|Multimedia|Svg)' <<<"$needed"; then
    echo "FAIL: $binary links a desktop library" >&2
    exit 1
fi
grep -q 'libQt6Core' <<<"$needed" || { echo "FAIL: no Qt Core in $binary?" >&2; exit 1; }
