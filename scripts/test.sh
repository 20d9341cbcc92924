#!/usr/bin/env bash
# Installs what is missing, builds Morrowlin with its tests, tools and benchmarks, and runs every
# test (unit tests, real-reader checks, the fuzz run and the end-to-end run in a real window).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
cd build
ctest --output-on-failure -j2 --timeout 600
