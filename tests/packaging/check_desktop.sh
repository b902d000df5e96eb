#!/bin/sh
# The desktop entry and the icon: desktop-file-validate accepts the entry, it
# starts velkindex (which asks for the database itself) under the name
# VELKINDEX with the icon velkindex, and the icon's PNG sizes are what their
# names say, with a transparent background.
# Usage: check_desktop.sh SOURCE-DIR [ROOT-PREFIX]
#   ROOT-PREFIX: check an installed tree (e.g. ROOT/usr) instead of the sources.
set -eu
src=$1
prefix=${2:-}
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

command -v desktop-file-validate >/dev/null 2>&1 \
  || { echo "FAIL: desktop-file-validate is missing (package desktop-file-utils); run scripts/deps.sh" >&2; exit 1; }

if [ -n "$prefix" ]; then
  entry=$prefix/share/applications/velkindex.desktop
  svg=$prefix/share/icons/hicolor/scalable/apps/velkindex.svg
  png() { echo "$prefix/share/icons/hicolor/${1}x${1}/apps/velkindex.png"; }
else
  entry=$src/packaging/velkindex.desktop
  svg=$src/packaging/icons/velkindex.svg
  png() { echo "$src/packaging/icons/velkindex-$1.png"; }
fi

# 1. The entry validates without errors, warnings or hints.
if ! out=$(desktop-file-validate "$entry" 2>&1) || [ -n "$out" ]; then
  fail "desktop-file-validate $entry:"
  printf '%s\n' "$out" >&2
fi

# 2. Its keys.
key() { sed -n "s/^$1=//p" "$entry"; }
[ "$(key Type)" = Application ] || fail "Type is '$(key Type)'"
[ "$(key Name)" = VELKINDEX ] || fail "Name is '$(key Name)'"
[ "$(key GenericName)" = "Patient Education Configuration" ] || fail "GenericName is '$(key GenericName)'"
[ "$(key Exec)" = velkindex ] || fail "Exec is '$(key Exec)', not velkindex alone"
[ "$(key Icon)" = velkindex ] || fail "Icon is '$(key Icon)'"
[ "$(key Terminal)" = false ] || fail "Terminal is '$(key Terminal)'"
case ";$(key Categories)" in *";Office;"*) ;; *) fail "Categories '$(key Categories)' lack Office" ;; esac
case ";$(key Categories)" in *";Database;"*) ;; *) fail "Categories '$(key Categories)' lack Database" ;; esac

# 3. The PNG sizes: 8-bit RGBA of the named size (the header read byte by byte).
for size in 48 128 256; do
  file=$(png "$size")
  if [ ! -f "$file" ]; then
    fail "missing icon $file"
    continue
  fi
  signature=$(od -An -tx1 -N8 "$file" | tr -d ' \n')
  [ "$signature" = 89504e470d0a1a0a ] || fail "$file is not a PNG"
  width=$(od -An -tu1 -j16 -N4 "$file" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
  height=$(od -An -tu1 -j20 -N4 "$file" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
  depth=$(od -An -tu1 -j24 -N1 "$file" | tr -d ' ')
  colour=$(od -An -tu1 -j25 -N1 "$file" | tr -d ' ')
  if [ "$width" != "$size" ] || [ "$height" != "$size" ]; then
    fail "$file is ${width}x$height, not ${size}x$size"
  fi
  if [ "$depth" != 8 ] || [ "$colour" != 6 ]; then
    fail "$file is not 8-bit RGBA (bit depth $depth, colour type $colour)"
  fi
done

# 4. The scalable icon is a square SVG.
grep -q '<svg[^>]* viewBox="0 0 256 256"' "$svg" || fail "$svg has no square viewBox"
grep -q '</svg>' "$svg" || fail "$svg is not closed"

# 5. Corners see through, where ImageMagick is at hand to look.
if [ -x /usr/bin/identify ]; then
  for size in 48 256; do
    alpha=$(/usr/bin/identify -format '%[fx:p{0,0}.a]' "$(png "$size")" 2>/dev/null || echo "?")
    [ "$alpha" = 0 ] || fail "$(png "$size"): the corner is not transparent (alpha $alpha)"
  done
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of the desktop entry and icon failed" >&2
  exit 1
fi
echo "desktop entry and icon OK"
