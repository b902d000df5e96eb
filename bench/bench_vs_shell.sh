#!/usr/bin/env bash
# Runs whole batch loads of velkindex and the sqlite3 shell side by side, on
# this machine, in one run, and prints how much longer velkindex takes and the
# peak memory of each side.
#
#   bash bench/bench_vs_shell.sh [rows] [build-dir]
#   BENCH_RUNS=3 bash bench/bench_vs_shell.sh 75000
#
# rows (default 75000) sets the size of every load:
#   topic create      an index file of that many lines, three levels;
#   code create       a code file of that many codes, ten a line;
#   code description  a description file of that many lines for those codes;
#   empty load        topic create from an empty file (the fixed cost).
# The shell works on a copy of a fresh velkindex database (the same schema and
# indexes): it imports the same rows as CSV into a temporary table, then one
# INSERT ... SELECT or UPDATE ... FROM stores them. Each figure is the median
# of BENCH_RUNS runs (default 9) of the whole process; the two sides take
# turns, so a busy moment of the machine falls on both. Peak memory is the
# largest resident set of any run (/usr/bin/time -f %M).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
rows=${1:-75000}
build=${2:-$top/build}
runs=${BENCH_RUNS:-9}
velk="$build/bin/velkindex"
[ -x "$velk" ] || { echo "no $velk: build the velkindex target first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "no /usr/bin/time: install the time package (scripts/deps.sh)" >&2; exit 2; }
command -v sqlite3 >/dev/null || { echo "no sqlite3 shell: install sqlite3 (scripts/deps.sh)" >&2; exit 2; }
work=$(mktemp -d)
trap '[ -n "${BENCH_KEEP:-}" ] || rm -rf "$work"' EXIT; [ -n "${BENCH_KEEP:-}" ] && echo "work folder: $work" >&2
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

. "$top/bench/bench_inputs.sh"
bench_index "$rows" "$work/index.txt"
bench_codes "$rows" "$work/codes.txt"
bench_desc "$rows" "$work/desc.txt"
bench_topics_csv "$rows" "$work/topics.csv"
bench_codes_csv "$rows" "$work/codes.csv"
bench_desc_csv "$rows" "$work/desc.csv"
: > "$work/empty.txt"
: > "$work/empty.csv"

db="$work/velk.db"
shelldb="$work/shell.db"
# A run that stores nothing leaves no database behind: the seed module makes it.
fresh() { rm -f "$db" "$db-wal" "$db-shm"; "$velk" "$db" topic create SEED S "$work/" empty.txt >/dev/null 2>&1
          sqlite3 "$db" "INSERT INTO codingsystems (CodingSystemName) VALUES ('CPT');"; }
withcodes() { fresh; "$velk" "$db" code create CPT "$work/" codes.txt >/dev/null 2>&1; }
fresh
cp "$db" "$work/template.db"
shellfresh() { rm -f "$shelldb" "$shelldb-wal" "$shelldb-shm"; cp "$work/template.db" "$shelldb"; }
shellcodes() { shellfresh; shell_codes; "${cmd[@]}" >/dev/null 2>&1; }

# Each of these sets cmd to the command line of one run.
velk_topic() { cmd=("$velk" "$db" topic create ADULT ADU "$work/" index.txt); }
velk_codes() { cmd=("$velk" "$db" code create CPT "$work/" codes.txt); }
velk_desc() { cmd=("$velk" "$db" code description CPT "$work/" desc.txt); }
velk_empty() { cmd=("$velk" "$db" topic create ADULT ADU "$work/" empty.txt); }
# shell_topic [CSV]: the topic rows of CSV (default topics.csv) with their module.
shell_topic() { cmd=(sqlite3 "$shelldb" "CREATE TEMP TABLE t (ModuleID, ParentID, HasChild, PatEdDocument, Description);"
  ".mode csv" ".import ${1:-$work/topics.csv} t"
  "BEGIN; INSERT INTO modules (ModuleName, DirectoryPrefix) VALUES ('ADULT', 'ADU');
   INSERT INTO topics (ModuleID, ParentID, HasChild, PatEdDocument, Description) SELECT * FROM t; COMMIT;"); }
shell_codes() { cmd=(sqlite3 "$shelldb" "CREATE TEMP TABLE t (Code, CodingSystemID, CodeFlag, Description, PatEdDocument);"
  ".mode csv" ".import $work/codes.csv t"
  "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) SELECT * FROM t;"); }
shell_desc() { cmd=(sqlite3 "$shelldb" "CREATE TEMP TABLE d (Code, Description);" ".mode csv" ".import $work/desc.csv d"
  "CREATE INDEX temp.d_code ON d (Code);"
  "UPDATE codes SET Description = d.Description FROM d WHERE d.Code = trim(codes.Code);"); }
shell_empty() { shell_topic "$work/empty.csv"; }

# once SET-UP RUN: runs RUN once, whole process, after SET-UP; prints
# "seconds kilobytes".
once() {
  "$1"
  "$2"
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -f %M -o "$work/mem" "${cmd[@]}" >/dev/null 2>"$work/err" || { echo "failed: $2" >&2; cat "$work/err" >&2; exit 1; }
  t1=$(date +%s.%N)
  echo "$t0 $t1 $(tail -n 1 "$work/mem")" | awk '{ printf "%.6f %d\n", $2 - $1, $3 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
peak() { sort -n | tail -n 1; }

# Both sides must have stored the same rows: the count of rows in TABLE of
# one database and not of the other, both ways.
differ() { sqlite3 "$shelldb" "ATTACH '$db' AS v;
  SELECT (SELECT count(*) FROM (SELECT * FROM $1 EXCEPT SELECT * FROM v.$1))
       + (SELECT count(*) FROM (SELECT * FROM v.$1 EXCEPT SELECT * FROM $1));"; }

printf 'rows %d, median of %d alternating runs, whole process\n' "$rows" "$runs"
printf '%-18s %10s %10s %7s %12s %12s\n' "load" "velkindex" "sqlite3" "ratio" "velk peak" "shell peak"
for what in topic codes desc empty; do
  case $what in
    topic) vset=fresh; sset=shellfresh; label="topic create" ;;
    codes) vset=fresh; sset=shellfresh; label="code create" ;;
    desc) vset=withcodes; sset=shellcodes; label="code description" ;;
    empty) vset=fresh; sset=shellfresh; label="empty load" ;;
  esac
  : > "$work/v"; : > "$work/s"
  for ((r = 0; r < runs; r++)); do
    once "$vset" "velk_$what" >> "$work/v"
    once "$sset" "shell_$what" >> "$work/s"
  done
  for table in modules topics codes; do
    n=$(differ "$table")
    [ "$n" = 0 ] || echo "warning: after $label, $n rows of $table differ between velkindex and the shell" >&2
  done
  v=$(cut -d' ' -f1 "$work/v" | median); s=$(cut -d' ' -f1 "$work/s" | median)
  vm=$(cut -d' ' -f2 "$work/v" | peak); sm=$(cut -d' ' -f2 "$work/s" | peak)
  printf '%-18s %9.3fs %9.3fs %6.2fx %8.1f MiB %8.1f MiB\n' "$label" "$v" "$s" \
    "$(echo "$v $s" | awk '{ print $1 / $2 }')" "$(echo "$vm" | awk '{ print $1 / 1024 }')" \
    "$(echo "$sm" | awk '{ print $1 / 1024 }')"
done
