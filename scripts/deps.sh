#!/usr/bin/env bash
# Installs what Morrowlin needs to build, run and test on Debian or Ubuntu, when it is missing.
# Uses apt-get as root, or through sudo. Installs nothing when everything is there.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev
  # a real window without a desktop, and looking at it (libxfixes3: the pointer's image; xclip:
  # the clipboard)
  xvfb xauth xdotool x11-utils imagemagick libxfixes3 xclip
  # a headless Wayland compositor and Qt's Wayland platform; a private D-Bus session with the
  # accessibility bus and the screen reader's library (the AT-SPI tree test)
  weston qt6-wayland dbus-daemon at-spi2-core python3-pyatspi
  # the Debian package and the checks of its desktop entry and metadata
  dpkg-dev desktop-file-utils appstream
  # the fonts the program bundles (copied at build time) and fontconfig's tools for the tests
  fonts-liberation fonts-crosextra-carlito fonts-crosextra-caladea fonts-dejavu-core fontconfig
  # real readers of the workbooks the program writes
  python3 python3-xlrd libreoffice-calc-nogui python3-uno poppler-utils gnumeric
  # what a file manager shows of the template: GNOME's thumbnailer for Office files and the
  # image loader for the Windows metafile it finds in the summary
  libgsf-bin libwmf0.2-7-gtk
)

# A second font set for the tests that prove the pictures do not depend on the machine's fonts.
# These packages are unpacked into .cache/test-fonts, never installed: only the test runs that
# name them (through a private fontconfig file) see them; the machine's settings stay as they are.
test_fonts=(fonts-noto-core fonts-noto-mono fonts-dejavu-extra fonts-liberation2 fonts-urw-base35)
test_fonts_dir="$(cd "$(dirname "$0")/.." && pwd)/.cache/test-fonts"

source "$(dirname "$0")/apt_install.sh"
apt_install "${packages[@]}"

if [ "$(cat "$test_fonts_dir/.packages" 2>/dev/null)" != "${test_fonts[*]}" ]; then
  echo "Unpacking the extra test fonts into $test_fonts_dir: ${test_fonts[*]}"
  debs="$(mktemp -d)"
  chmod a+rwx "$debs"  # apt's download user writes here
  if ! (cd "$debs" && apt-get download -qq "${test_fonts[@]}"); then
    # Stale package lists name versions the mirror no longer has: refresh them once.
    if [ "$(id -u)" -eq 0 ]; then apt-get update -qq; else sudo apt-get update -qq; fi
    (cd "$debs" && apt-get download -qq "${test_fonts[@]}")
  fi
  rm -rf "$test_fonts_dir"
  mkdir -p "$test_fonts_dir"
  for deb in "$debs"/*.deb; do
    dpkg-deb -x "$deb" "$test_fonts_dir"
  done
  rm -rf "$debs"
  echo "${test_fonts[*]}" >"$test_fonts_dir/.packages"
fi
