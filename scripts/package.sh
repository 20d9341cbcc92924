#!/usr/bin/env bash
# Installs what is missing, builds Morrowlin and makes its Debian package in build/
# (morrowlin_<version>_<arch>.deb, with build/morrowlin.deb pointing at it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh morrowlin font_licences
cd build
rm -f morrowlin_*.deb morrowlin.deb
if ! log="$(cpack -G DEB 2>&1)"; then
  echo "$log" >&2
  exit 1
fi
deb="$(ls morrowlin_*.deb)"
ln -s "$deb" morrowlin.deb
echo "build/$deb"
