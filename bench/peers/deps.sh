#!/usr/bin/env bash
# Installs what the peer benchmark needs when it is missing: a JDK and Apache POI (HSSF).
# Uses apt-get as root, or through sudo. Not needed by the build or the test suite.
set -euo pipefail

packages=(default-jdk-headless libapache-poi-java)
source "$(dirname "$0")/../../scripts/apt_install.sh"
apt_install "${packages[@]}"
