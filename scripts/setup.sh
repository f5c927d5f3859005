#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need (Debian 12, as root).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libxml2-dev libssl-dev
  libcpp-httplib-dev libcli11-dev nlohmann-json3-dev
  ffmpeg tzdata
)
bash "$(dirname "$0")/install-packages.sh" "${packages[@]}"
