#!/bin/sh
# The program velkindex loads Qt Core only: neither it nor any library that
# the dynamic loader brings in for it is Qt Gui, Qt Widgets or what they
# bring (X11, xcb, EGL, OpenGL, fontconfig, FreeType, HarfBuzz), so that a
# batch run does not pay for loading and relocating them. The window program
# beside it does load Qt Widgets: the same pattern finds it there.
# Usage: check_batch_links.sh BIN-DIR
set -eu
bin=$1
command -v ldd >/dev/null 2>&1 || { echo "FAIL: ldd is missing (package libc-bin)" >&2; exit 1; }
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
windowing='^(libQt6Gui|libQt6Widgets|libQt6DBus|libX11|libxcb|libEGL|libGL|libGLX|libOpenGL|libfontconfig|libfreetype|libharfbuzz)\.so'
loaded() { ldd "$1" | awk '{print $1}'; }

loaded "$bin/velkindex" >/dev/null || fail "ldd cannot read $bin/velkindex"
found=$(loaded "$bin/velkindex" | grep -E "$windowing" || true)
[ -z "$found" ] || fail "velkindex loads: $(printf '%s' "$found" | tr '\n' ' ')"
loaded "$bin/velkindex" | grep -q '^libQt6Core\.so' || fail "velkindex does not load Qt Core: is this the program?"

loaded "$bin/velkindex-window" | grep -q '^libQt6Widgets\.so' || fail "velkindex-window does not load Qt Widgets"

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "velkindex loads Qt Core only"
