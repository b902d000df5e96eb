#!/usr/bin/env bash
# Times whole batch runs of velkindex beside the sqlite3 shell importing the
# same rows from a CSV file, on this machine, in one run.
#
#   bash bench/bench_batch.sh [build-dir] [repetitions] [loads|exports]
#
# topic create: a 32,000-line index file of three levels.
# code create:  a code file of 75,000 codes (7,500 lines of ten codes).
# code description: a 75,000-line description file for those codes.
# Each figure is the best of the repetitions (default 5), in seconds.
#
# exports: each of the three loads beside the export that writes the same
# file kind back out of the loaded database (topic export of the 32,000
# topics, code export and code export-descriptions of the 75,000 codes),
# and the peak memory of the code export at 7,500, 75,000 and 300,000 codes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
reps=${2:-5}
mode=${3:-loads}
velk="$build/bin/velkindex"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export -n DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM 2>/dev/null || true
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# Inputs (bench/bench_inputs.sh), and the same rows as CSV for the shell.
. "$top/bench/bench_inputs.sh"
bench_index 32000 "$work/index.txt"
bench_codes 75000 "$work/codes.txt"
bench_desc 75000 "$work/desc.txt"
bench_topics_csv 32000 "$work/topics.csv"
bench_codes_csv 75000 "$work/codes.csv"
bench_desc_csv 75000 "$work/desc.csv"

best() { # best-of-N wall time of a command, in seconds
  local best=""
  for ((r = 0; r < reps; r++)); do
    "$1" # set-up
    local t0 t1
    t0=$(date +%s.%N)
    "$2" >/dev/null 2>&1 || { echo "failed: $2" >&2; exit 1; }
    t1=$(date +%s.%N)
    best=$(echo "$t0 $t1 ${best:-999}" | awk '{ d = $2 - $1; print (d < $3 ? d : $3) }')
  done
  echo "$best"
}

db="$work/velk.db"
# A run that stores nothing leaves no database behind: the seed module makes it.
: > "$work/empty.txt"
fresh() { rm -f "$db" "$db-wal" "$db-shm"; "$velk" "$db" topic create SEED S "$work/" empty.txt >/dev/null 2>&1
          sqlite3 "$db" "INSERT INTO codingsystems (CodingSystemName) VALUES ('CPT');"; }
withcodes() { fresh; "$velk" "$db" code create CPT "$work/" codes.txt >/dev/null 2>&1; }
# The shell works on the same schema: a copy of a fresh velkindex database.
fresh
cp "$db" "$work/template.db"
shelldb="$work/shell.db"
shellfresh() { rm -f "$shelldb" "$shelldb-wal" "$shelldb-shm"; cp "$work/template.db" "$shelldb"; }
shellcodes() { shellfresh; shell_codes; }
bare="$work/bare.db"
barefresh() { rm -f "$bare"; sqlite3 "$bare" "CREATE TABLE topics (ModuleID, ParentID, HasChild, PatEdDocument, Description);"; }

run_topic() { "$velk" "$db" topic create ADULT ADU "$work/" index.txt; }
run_codes() { "$velk" "$db" code create CPT "$work/" codes.txt; }
run_desc() { "$velk" "$db" code description CPT "$work/" desc.txt; }
shell_topic() { sqlite3 "$shelldb" "CREATE TEMP TABLE t (ModuleID, ParentID, HasChild, PatEdDocument, Description);" \
  ".mode csv" ".import $work/topics.csv t" \
  "INSERT INTO topics (ModuleID, ParentID, HasChild, PatEdDocument, Description) SELECT * FROM t;"; }
bare_topic() { sqlite3 "$bare" ".mode csv" ".import $work/topics.csv topics"; }
shell_codes() { sqlite3 "$shelldb" "CREATE TEMP TABLE t (Code, CodingSystemID, CodeFlag, Description, PatEdDocument);" \
  ".mode csv" ".import $work/codes.csv t" \
  "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) SELECT * FROM t;"; }
shell_desc() { sqlite3 "$shelldb" "CREATE TEMP TABLE d (Code, Description);" ".mode csv" ".import $work/desc.csv d" \
  "CREATE INDEX temp.d_code ON d (Code);" \
  "UPDATE codes SET Description = d.Description FROM d WHERE d.Code = trim(codes.Code);"; }

if [ "$mode" = exports ]; then
  # One database holding all three, for the exports; the loads as above.
  full="$work/full.db"
  cp "$work/template.db" "$full"
  "$velk" "$full" topic create ADULT ADU "$work/" index.txt >/dev/null
  "$velk" "$full" code create CPT "$work/" codes.txt >/dev/null
  "$velk" "$full" code description CPT "$work/" desc.txt >/dev/null
  nothing() { :; }
  out_topic() { "$velk" "$full" topic export ADULT "$work/" out-index.txt; }
  out_codes() { "$velk" "$full" code export CPT "$work/" out-codes.txt; }
  out_desc() { "$velk" "$full" code export-descriptions CPT "$work/" out-desc.txt; }
  printf '%-22s %10s %10s %7s\n' "file kind" "load" "export" "ratio"
  for what in topic codes desc; do
    case $what in
      topic) l=$(best fresh run_topic); e=$(best nothing out_topic); label="index 32k topics" ;;
      codes) l=$(best fresh run_codes); e=$(best nothing out_codes); label="code file 75k codes" ;;
      desc) l=$(best withcodes run_desc); e=$(best nothing out_desc); label="descriptions 75k" ;;
    esac
    printf '%-22s %9.3fs %9.3fs %6.2fx\n' "$label" "$l" "$e" "$(echo "$e $l" | awk '{ print $1 / $2 }')"
  done
  # The exported files load back into the same rows (counted here; the
  # tests compare them row by row).
  cmp -s "$work/out-codes.txt" "$work/codes.txt" && echo "(the code file came back byte for byte)"
  if [ -x /usr/bin/time ]; then
    # The library's page cache (16 MiB at most) fills as the file is read;
    # past that the peak stays where it is, whatever the number of codes.
    for n in 7500 75000 300000; do
      sized="$work/sized.db"
      cp "$work/template.db" "$sized"
      bench_codes "$n" "$work/codes-sized.txt"
      "$velk" "$sized" code create CPT "$work/" codes-sized.txt >/dev/null
      /usr/bin/time -f '%M' -o "$work/rss" "$velk" "$sized" code export CPT "$work/" out-rss.txt >/dev/null
      printf 'peak memory of code export, %6d codes: %6d KiB\n' "$n" "$(cat "$work/rss")"
    done
  fi
  exit 0
fi

printf '%-18s %10s %10s %7s\n' "run" "velkindex" "sqlite3" "ratio"
for what in topic codes desc; do
  case $what in
    topic) v=$(best fresh run_topic); s=$(best shellfresh shell_topic); label="topic create 32k" ;;
    codes) v=$(best fresh run_codes); s=$(best shellfresh shell_codes); label="code create 75k" ;;
    desc) v=$(best withcodes run_desc); s=$(best shellcodes shell_desc); label="code descr. 75k" ;;
  esac
  printf '%-18s %9.3fs %9.3fs %6.2fx\n' "$label" "$v" "$s" "$(echo "$v $s" | awk '{ print $1 / $2 }')"
done
b=$(best barefresh bare_topic)
printf '(the shell importing the 32k topic rows into a bare table without keys or indexes: %.3fs)\n' "$b"
