#!/usr/bin/env bash
# Writes the test workbooks made by Gnumeric: its own Excel 97 writer re-saves two of the
# LibreOffice-made workbooks, so the engine meets a second real program's way of writing BIFF8.
# Needs Gnumeric's ssconvert (Debian: gnumeric). Run from anywhere.
set -euo pipefail
cd "$(dirname "$0")"
for name in kinds chart; do
  ssconvert --export-type=Gnumeric_Excel:excel_biff8 "$name.xls" "gnumeric-$name.xls" 2>/dev/null
done
