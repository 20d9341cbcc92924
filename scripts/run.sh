#!/usr/bin/env bash
# Installs what is missing, builds Morrowlin and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh morrowlin
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Morrowlin is built (build/morrowlin) but there is no display to show it on: run this from a desktop session, or under Xvfb (xvfb-run -a bash scripts/run.sh)." >&2
  exit 2
fi
exec ./build/morrowlin
