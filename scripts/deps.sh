#!/usr/bin/env bash
# Installs what Morrowlin needs to build, run and test on Debian or Ubuntu, when it is missing.
# Uses apt-get as root, or through sudo. Installs nothing when everything is there.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev
  # a real window without a desktop, and looking at it
  xvfb xauth xdotool imagemagick
  # fonts close to the ones the windows and the template ask for
  fonts-liberation fonts-dejavu-core
  # real readers of the workbooks the program writes
  python3 python3-xlrd libreoffice-calc-nogui python3-uno poppler-utils gnumeric
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
