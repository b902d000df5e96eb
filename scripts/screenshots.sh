#!/bin/sh
# Pictures of the windows for the documentation, taken on a virtual display:
# docs/screenshots/main-modules.png, main-coding-systems.png, progress.png,
# contents-topics.png, contents-codes.png.
# Usage: scripts/screenshots.sh [BUILD-DIR]   (default: build-gui)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-gui"}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build"
fi
cmake --build "$build" --target velk_screenshots
tool=$(find "$build" -type f -name velk_screenshots -perm -u+x | head -n 1)
mkdir -p "$root/docs/screenshots"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$tool" "$root/docs/screenshots"
