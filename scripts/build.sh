#!/usr/bin/env bash
# Configures and builds VELKINDEX into build/ (or $VELK_BUILD_DIR).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELK_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=${VELK_BUILD_TYPE:-RelWithDebInfo} ${VELK_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"
