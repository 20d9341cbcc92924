#!/usr/bin/env bash
# Installs what is missing, builds Morrowlin with its tests, tools and benchmarks, and runs every
# test (unit tests, real-reader checks, the fuzz run and the end-to-end run in a real window).
# On a CI machine (CI set) as root it then installs the Debian package with apt, starts
# /usr/bin/morrowlin under Xvfb and removes the package again, checking that nothing is left.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
cd build
ctest --output-on-failure -j2 --timeout 600
if [ "$(id -u)" -eq 0 ] && [ -n "${CI:-}" ]; then
  /usr/bin/python3 ../tests/package/package_test.py . --system
fi
