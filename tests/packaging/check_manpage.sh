#!/bin/sh
# The manual page packaging/velkindex.1: it renders without a single warning
# (groff -ww, and man -l where man is installed), carries the project's
# version, and says what the README says: every batch form of the README's
# table, the exit statuses, both environment variables and the View menu.
# Usage: check_manpage.sh SOURCE-DIR VERSION
set -eu
src=$1
version=$2
page=$src/packaging/velkindex.1
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

for tool in groff col; do
  command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing; run scripts/deps.sh" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# 1. No warnings from groff, with every warning switched on.
groff -man -Tutf8 -ww -z "$page" 2>"$tmp/groff.err" || fail "groff exited with $?"
if [ -s "$tmp/groff.err" ]; then
  fail "groff warns about $page:"
  cat "$tmp/groff.err" >&2
fi

# 2. No warnings from man either (it runs the page through its own
# preprocessors and at the terminal's width).
if command -v man >/dev/null 2>&1; then
  MANWIDTH=80 man --warnings -l "$page" >"$tmp/man.out" 2>"$tmp/man.err" || fail "man -l exited with $?"
  if [ -s "$tmp/man.err" ]; then
    fail "man -l warns about $page:"
    cat "$tmp/man.err" >&2
  fi
  [ -s "$tmp/man.out" ] || fail "man -l printed nothing"
else
  echo "note: man is not installed; only groff was run" >&2
fi

# 3. The title line names this version.
grep -q "^\.TH VELKINDEX 1 [^ ]* \"velkindex $version\" " "$page" \
  || fail ".TH of $page does not name velkindex $version: $(grep '^\.TH' "$page")"

# 4. The rendered text, plain and on long lines so that no form is broken, its
# spaces kept as spaces (col -b alone puts tabs in place of runs of them).
groff -man -Tascii -P-cbou -rLL=250n -rHY=0 "$page" 2>/dev/null | col -bx | tr -s ' ' >"$tmp/page.txt"
lower() { tr '[:upper:]' '[:lower:]'; }
lower <"$tmp/page.txt" >"$tmp/page.lower"

# shellcheck disable=SC2016 # the backquotes are the README's, not the shell's
forms=$(sed -n 's/^| `\(velkindex DB [^`]*\)` |.*/\1/p' "$src/README.md")
count=$(printf '%s\n' "$forms" | grep -c velkindex || true)
[ "$count" -eq 8 ] || fail "expected 8 batch forms in the README's table, found $count"
printf '%s\n' "$forms" | while IFS= read -r form; do
  [ -n "$form" ] || continue
  wanted=$(printf '%s' "$form" | lower)
  grep -qF -- "$wanted" "$tmp/page.lower" || { echo "FAIL: the manual page lacks the batch form: $form" >&2; echo x >>"$tmp/missing"; }
done
[ ! -f "$tmp/missing" ] || failures=$((failures + 1))

for section in NAME SYNOPSIS DESCRIPTION OPTIONS "BATCH ACTIONS" "FILE FORMATS" "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
  grep -q "^$section\$" "$tmp/page.txt" || fail "the manual page has no section $section"
done
for text in "velkindex --help" "velkindex --version" "Index files" "Code files" "Coding description files" \
  VELKINDEX_CODEPAGE VELKINDEX_BUSY_TIMEOUT_MS "Default: 5000" "Default: Windows-1252" \
  /usr/lib/velkindex/libkovadel.so /usr/share/doc/velkindex/examples/; do
  grep -qF -- "$text" "$tmp/page.txt" || fail "the manual page does not say: $text"
done
# Each exit status is a tagged paragraph of its own.
for status in 0 1 2; do
  sed -n '/^EXIT STATUS$/,/^ENVIRONMENT$/p' "$tmp/page.txt" | grep -q "^ $status The\? " \
    || fail "EXIT STATUS does not describe status $status"
done

# 5. Rules that the README and the manual page both state, in the same words.
tr -s ' \n' '  ' <"$tmp/page.txt" >"$tmp/page.flat"
tr -s ' \n' '  ' <"$src/README.md" >"$tmp/readme.flat"
for text in "Descriptions are stored cut to 100 characters" "the last character of a line is never read" \
  "a line at column 1 is always at the top level" "The tree has at most ten levels" \
  "The document word ends with one closing character (typically a comma) that is dropped" \
  "an existing file is replaced whole, and a failed export leaves it as it was" \
  "Reads take no write lock and never wait for a run that writes: they see what was last committed" \
  "Codes come in code order: the code with its blanks cut, byte by byte, then CodeID" \
  "View > Library Contents" "opens a separate window that shows what the database holds and changes nothing"; do
  grep -qiF -- "$text" "$tmp/readme.flat" || fail "README.md does not say: $text"
  grep -qiF -- "$text" "$tmp/page.flat" || fail "the manual page does not say: $text"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of the manual page failed" >&2
  exit 1
fi
echo "manual page OK"
