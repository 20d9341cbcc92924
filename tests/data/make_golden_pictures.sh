#!/usr/bin/env bash
# Draws the golden pictures that the picture tests compare pixel for pixel: the used range of the
# active sheet of the program's template (golden/template.png) and of every reference workbook in
# this folder that has one (golden/<workbook>.png), with the program's own drawing code
# (build/xlstool picture), and the template's chart alone filled with the first 1, 6, 9 and 40
# entries of chart-entries.tsv as the program fills it (golden/charts/template-<n>.png). Run it when a drawing change is intended, look at the new pictures,
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

draw() {  # workbook, picture [--chart]
  local message
  if message=$("$build/xlstool" picture "$@" 2>&1); then
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

# The template's chart, the sample rows cleared and the entries written from row 4 in the
# program's accounting format.
amount_format='_($* #,##0_);_($* (#,##0);_($* "-"??_);_(@_)'
mkdir -p "$golden/charts"
rm -f "$golden"/charts/*.png
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for count in 1 6 9 40; do
  args=()
  for row in 4 5 6 7 8 9; do args+=("A$row=" "B$row="); done
  formats=()
  row=4
  while IFS=$'\t' read -r label amount; do
    args+=("A$row=$label" "B$row=$amount")
    formats+=(--format "B$row=$amount_format")
    row=$((row + 1))
  done < <(head -n "$count" "$here/chart-entries.tsv")
  "$build/xlstool" fill "$root/resources/Pie Chart.xlt" "$work/filled.xls" "${args[@]}" "${formats[@]}"
  draw "$work/filled.xls" "$golden/charts/template-$count.png" --chart
done
