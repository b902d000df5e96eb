#!/usr/bin/env bash
# Builds VELKINDEX and runs every test. Installs missing Debian packages first.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"
bash "$top/scripts/build.sh"
build=${VELK_BUILD_DIR:-$top/build}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
