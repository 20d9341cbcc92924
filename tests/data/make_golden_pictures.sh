#!/usr/bin/env bash
# Draws the golden pictures that the picture tests compare pixel for pixel: the used range of the
# active sheet of the program's template (golden/template.png) and of every reference workbook in
# this folder that has one (golden/<workbook>.png), with the program's own drawing code
# (build/xlstool picture). Run it when a drawing change is intended, look at the new pictures,
# and commit them with the change:
#     bash tests/data/make_golden_pictures.sh [build-folder]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
cmake --build "$build" --target xlstool >/dev/null
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
golden="$here/golden"
mkdir -p "$golden"
rm -f "$golden"/*.png

draw() {  # workbook, picture
  local message
  if message=$("$build/xlstool" picture "$1" "$2" 2>&1); then
    echo "$(basename "$2"): $message"
  else
    echo "$(basename "$1"): no picture ($message)"
  fi
}

draw "$root/resources/Pie Chart.xlt" "$golden/template.png"
for workbook in "$here"/*.xls "$here"/*.xlt; do
  [ -e "$workbook" ] || continue
  draw "$workbook" "$golden/$(basename "$workbook").png"
done
