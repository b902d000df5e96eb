#!/bin/sh
# The Debian package, built by cpack from the build folder, unpacked into a
# fresh root and run from there:
#   - control fields: name, version, architecture, maintainer, Depends;
#   - neither the program nor its library needs libpq to start;
#   - contents: only the program, its window program and private library,
#     the desktop entry, icons, manual page and documentation, all under /usr;
#   - the unpacked program needs neither Qt Gui nor Qt Widgets; the window
#     program does, and answers --version; without a batch action the program
#     hands over to the window program in lib/velkindex, and names it when it
#     is missing (status 2);
#   - the unpacked program runs a batch "topic create" on the installed
#     example, loading the unpacked library (not the build tree's), and the
#     rows are read back with the sqlite3 shell;
#   - without that library it fails to start (status 2) and says so.
# Usage: check_package.sh BUILD-DIR SOURCE-DIR VERSION INSTALLED-LIBRARY-DIR
set -eu
build=$(cd "$1" && pwd)
src=$2
version=$3
installed_library_dir=$4
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
need() {
  command -v "$1" >/dev/null 2>&1 || { echo "FAIL: $1 is missing (package $2); run scripts/deps.sh" >&2; exit 1; }
}
need cpack cmake
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need sqlite3 sqlite3
need readelf binutils

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# 1. Build the package, its files kept out of the build folder.
if ! (cd "$build" && cpack -G DEB -B "$tmp/out") >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  echo "FAIL: cpack -G DEB failed" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$tmp/out/velkindex_${version}_$arch.deb
if [ ! -f "$deb" ]; then
  echo "FAIL: cpack made no $deb; it made:" >&2
  ls "$tmp/out" >&2
  exit 1
fi
echo "built $(basename "$deb")"

# 2. Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velkindex ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)', not $arch"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
description=$(field Description)
[ "$(printf '%s\n' "$description" | wc -l)" -gt 1 ] || fail "no long Description: $description"
case $description in *\;*) fail "the Description was cut up as a list: $description" ;; esac
depends=$(field Depends)
echo "Depends: $depends"
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libsqlite3-0 libpq5 qt6-qpa-plugins fonts-liberation2; do
  printf '%s\n' "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx -- "$package" \
    || fail "Depends lacks $package"
done

# 3. Contents: every file in a place of ours under /usr.
dpkg-deb -c "$deb" >"$tmp/listing"
awk '{print $6}' "$tmp/listing" | grep -v '/$' | sed 's|^\./||' >"$tmp/files"
while IFS= read -r path; do
  case $path in
    usr/bin/velkindex | usr/lib/velkindex/velkindex-window | usr/lib/velkindex/libkovadel.so \
      | usr/share/applications/velkindex.desktop \
      | usr/share/icons/hicolor/*/apps/velkindex.* | usr/share/man/man1/velkindex.1.gz | usr/share/doc/velkindex/*) ;;
    *) fail "unexpected file in the package: /$path" ;;
  esac
done <"$tmp/files"
for path in usr/bin/velkindex usr/lib/velkindex/velkindex-window usr/lib/velkindex/libkovadel.so \
  usr/share/applications/velkindex.desktop \
  usr/share/icons/hicolor/scalable/apps/velkindex.svg usr/share/icons/hicolor/48x48/apps/velkindex.png \
  usr/share/icons/hicolor/128x128/apps/velkindex.png usr/share/icons/hicolor/256x256/apps/velkindex.png \
  usr/share/man/man1/velkindex.1.gz usr/share/doc/velkindex/README.md \
  usr/share/doc/velkindex/examples/adult-index.txt usr/share/doc/velkindex/examples/codes-icd.txt; do
  grep -qx -- "$path" "$tmp/files" || fail "the package lacks /$path"
done
grep -q '^-rwxr-xr-x root/root .* \./usr/bin/velkindex$' "$tmp/listing" \
  || fail "/usr/bin/velkindex is not an executable owned by root"
grep -q '^-rwxr-xr-x root/root .* \./usr/lib/velkindex/velkindex-window$' "$tmp/listing" \
  || fail "/usr/lib/velkindex/velkindex-window is not an executable owned by root"

# 4. Unpack into a fresh root.
root=$tmp/root
dpkg-deb -x "$deb" "$root"
program=$root/usr/bin/velkindex
library=$root/usr/lib/velkindex/libkovadel.so
window=$root/usr/lib/velkindex/velkindex-window
needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'; }
if needed "$program" | grep -E '^libQt6(Gui|Widgets)\.'; then
  fail "the packaged velkindex links Qt Gui or Qt Widgets"
fi
needed "$window" | grep -q '^libQt6Widgets\.' || fail "the packaged velkindex-window does not link Qt Widgets"
if readelf -d "$program" | grep -E 'RPATH|RUNPATH' | grep -qF -- "$build"; then
  fail "the packaged program still searches the build folder: $(readelf -d "$program" | grep -E 'RPATH|RUNPATH')"
fi
# libpq (and the TLS, Kerberos and LDAP libraries it needs) is loaded only
# for a database on a server: neither file names it, though Depends does.
for file in "$program" "$library"; do
  if readelf -d "$file" | grep NEEDED | grep -q 'libpq'; then
    fail "$(basename "$file") needs libpq at start-up: $(readelf -d "$file" | grep NEEDED | grep libpq)"
  fi
done
sh "$src/tests/packaging/check_desktop.sh" "$src" "$root/usr" || fail "the installed desktop entry or icon"
gzip -dc "$root/usr/share/man/man1/velkindex.1.gz" | cmp -s - "$src/packaging/velkindex.1" \
  || fail "the installed manual page is not packaging/velkindex.1"

# The run: no display, no library path, nothing of the build tree.
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LD_LIBRARY_PATH -u VELKINDEX_CODEPAGE \
    -u VELKINDEX_BUSY_TIMEOUT_MS "$@"
}
work=$tmp/work
mkdir -p "$work"
cd "$work"

out=$(run "$program" --version) || fail "the installed velkindex --version failed"
[ "$out" = "velkindex $version" ] || fail "the installed velkindex --version says '$out'"

out=$(run "$window" --version) || fail "the installed velkindex-window --version failed"
[ "$out" = "velkindex $version" ] || fail "the installed velkindex-window --version says '$out'"

# Without a batch action the program becomes the window program of
# lib/velkindex: a stand-in there shows that it was reached, by the same
# process, with the same arguments and its exit status passed on.
# (The missing case is skipped where a copy is installed on this machine.)
mv "$window" "$work/velkindex-window.away"
if [ -e "$installed_library_dir/velkindex-window" ]; then
  echo "note: $installed_library_dir/velkindex-window exists on this machine; the missing-window run is skipped" >&2
else
  status=0
  run QT_QPA_PLATFORM=offscreen "$program" "$work/none.db" >"$work/out0" 2>"$work/err0" || status=$?
  [ "$status" -eq 2 ] || fail "without its window program the program ended with $status, not 2"
  [ "$(cat "$work/err0")" = "velkindex: cannot start the window program $window: No such file or directory" ] \
    || fail "without its window program the program said: $(cat "$work/err0")"
fi
printf '#!/bin/sh\necho "$$ $*"\nexit 5\n' >"$window"
chmod 755 "$window"
status=0
run QT_QPA_PLATFORM=offscreen sh -c 'echo $$; exec "$@"' sh "$program" "$work/none.db" two >"$work/out0" || status=$?
[ "$status" -eq 5 ] || fail "the window program's status 5 came back as $status"
pid=$(sed -n 1p "$work/out0")
[ "$(sed -n 2p "$work/out0")" = "$pid $work/none.db two" ] \
  || fail "the window program was not run in place with the arguments: $(cat "$work/out0")"
mv "$work/velkindex-window.away" "$window"
[ ! -e "$work/none.db" ] || fail "the hand-over opened the database"

# 5. A batch topic create from the installed example, watching which library
# the dynamic loader brings in.
db=$work/library.db
examples=$root/usr/share/doc/velkindex/examples/
status=0
run LD_DEBUG=files LD_DEBUG_OUTPUT="$work/ld" "$program" "$db" topic create ADULT ADU "$examples" adult-index.txt \
  >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -ne 0 ]; then
  fail "the installed velkindex ended with status $status:"
  cat "$work/err" >&2
fi
loaded=$(cat "$work"/ld.* 2>/dev/null | sed -n 's/.*calling init: \(.*libkovadel\.so\)$/\1/p')
[ "$loaded" = "$library" ] || fail "the program loaded '$loaded', not the unpacked $library"

# The rows, read with the sqlite3 shell. Every line of the index file is a
# topic, blank lines included.
q() { sqlite3 -batch -noheader "$db" "$1"; }
lines=$(awk 'END { print NR }' "$examples/adult-index.txt")
[ "$(q "SELECT ModuleName || '|' || DirectoryPrefix FROM modules")" = "ADULT|ADU" ] \
  || fail "modules holds: $(q 'SELECT * FROM modules')"
[ "$(q 'SELECT count(*) FROM topics')" = "$lines" ] \
  || fail "topics holds $(q 'SELECT count(*) FROM topics') rows, not $lines (the lines of adult-index.txt)"
[ "$(q 'SELECT count(*) FROM topics WHERE ModuleID <> (SELECT ModuleID FROM modules)')" = 0 ] \
  || fail "topics of another module"
first=$(q "SELECT TopicID || '|' || ParentID || '|' || HasChild || '|' || PatEdDocument || '|' || Description
           FROM topics ORDER BY TopicID LIMIT 1")
first_id=${first%%|*}
[ "$first" = "$first_id|0|1||Adult Health" ] || fail "the first topic is '$first'"
asthma=$(q "SELECT ParentID || '|' || HasChild || '|' || PatEdDocument FROM topics WHERE Description = 'Asthma '")
[ "$asthma" = "$first_id|0|ADU_asthma_pdf.htm" ] || fail "the topic Asthma is '$asthma'"
insulin_parent=$(q "SELECT p.Description FROM topics t JOIN topics p ON p.TopicID = t.ParentID
                    WHERE t.Description = 'Insulin '")
[ "$insulin_parent" = "Diabetes " ] || fail "Insulin hangs under '$insulin_parent', not Diabetes"
[ "$(q 'SELECT DefaultModule FROM patEdDefaults')" = ADULT ] \
  || fail "the default module is '$(q 'SELECT DefaultModule FROM patEdDefaults')'"

# 6. Without its library the program cannot start, and says what it missed.
# (Skipped where a copy is installed on this machine: the program would take that one.)
if [ -e "$installed_library_dir/libkovadel.so" ]; then
  echo "note: $installed_library_dir/libkovadel.so exists on this machine; the missing-library run is skipped" >&2
else
  mv "$library" "$work/libkovadel.so.away"
  status=0
  run "$program" "$db" topic delete ADULT >"$work/out2" 2>"$work/err2" || status=$?
  [ "$status" -eq 2 ] || fail "without its library the program ended with $status, not 2: $(cat "$work/err2")"
  grep -q 'libkovadel\.so' "$work/err2" || fail "the message does not name the library: $(cat "$work/err2")"
  [ "$(q 'SELECT count(*) FROM modules')" = 1 ] || fail "the failed run changed the database"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of the package failed" >&2
  exit 1
fi
echo "package OK"
