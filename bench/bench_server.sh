#!/usr/bin/env bash
# Runs whole batch loads of velkindex on a library kept by a PostgreSQL server
# and psql's \copy of the same rows side by side, on a throwaway local server
# (scripts/pg-cluster.sh), and prints how much longer velkindex takes and the
# peak memory of each side.
#
#   bash bench/bench_server.sh [rows] [build-dir]
#   BENCH_RUNS=3 bash bench/bench_server.sh 75000
#
# rows (default 75000) sets the size of every load (see bench_vs_shell.sh):
# topic create, code create, code description. psql's side: \copy of the
# same rows into the table (topics, codes), or into a temporary table and one
# UPDATE ... FROM (descriptions). Each figure is the median of BENCH_RUNS runs
# (default 5) of the whole process, the two sides taking turns; peak memory
# is the largest resident set of any run (/usr/bin/time -f %M).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
rows=${1:-75000}
build=${2:-$top/build}
runs=${BENCH_RUNS:-5}
velk="$build/bin/velkindex"
[ -x "$velk" ] || { echo "no $velk: build the velkindex target first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "no /usr/bin/time: install the time package (scripts/deps.sh)" >&2; exit 2; }
work=$(mktemp -d /tmp/velkbench.XXXXXX)
chmod 755 "$work"
cleanup() { bash "$top/scripts/pg-cluster.sh" stop "$work/pg" >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

VELK_REQUIRE_PG=1 bash "$top/scripts/pg-cluster.sh" start "$work/pg" >/dev/null
uri=$(cat "$work/pg/uri")
psql=("$(cat "$work/pg/bindir")/psql" -X -q -v ON_ERROR_STOP=1 "$uri")

. "$top/bench/bench_inputs.sh"
bench_index "$rows" "$work/index.txt"
bench_codes "$rows" "$work/codes.txt"
bench_desc "$rows" "$work/desc.txt"
bench_topics_csv "$rows" "$work/topics.csv"
bench_codes_csv "$rows" "$work/codes.csv"
bench_desc_csv "$rows" "$work/desc.csv"
: > "$work/empty.txt"

# The library's tables made by a first run; every run starts from them empty.
"$velk" "$uri" topic create SEED S "$work/" empty.txt >/dev/null 2>&1 || true
fresh() { "${psql[@]}" -c "TRUNCATE modules, topics, codingsystems, codes RESTART IDENTITY;
  INSERT INTO modules (ModuleName, DirectoryPrefix) VALUES ('SEED', 'S');
  INSERT INTO codingsystems (CodingSystemName) VALUES ('CPT');" >/dev/null; }
withcodes() { fresh; "$velk" "$uri" code create CPT "$work/" codes.txt >/dev/null 2>&1; }

velk_topic() { cmd=("$velk" "$uri" topic create ADULT ADU "$work/" index.txt); }
velk_codes() { cmd=("$velk" "$uri" code create CPT "$work/" codes.txt); }
velk_desc() { cmd=("$velk" "$uri" code description CPT "$work/" desc.txt); }
psql_topic() { cmd=("${psql[@]}" -c "INSERT INTO modules (ModuleName, DirectoryPrefix) VALUES ('ADULT', 'ADU')"
  -c "\\copy topics (ModuleID, ParentID, HasChild, PatEdDocument, Description) FROM '$work/topics.csv' WITH (FORMAT csv, FORCE_NOT_NULL (PatEdDocument, Description))"); }
psql_codes() { cmd=("${psql[@]}"
  -c "\\copy codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) FROM '$work/codes.csv' WITH (FORMAT csv, FORCE_NOT_NULL (Code, Description, PatEdDocument))"); }
psql_desc() { cmd=("${psql[@]}" -1 -c "CREATE TEMP TABLE d (Code text, Description text)"
  -c "\\copy d FROM '$work/desc.csv' CSV"
  -c "UPDATE codes SET Description = d.Description FROM d WHERE d.Code = trim(codes.Code)"); }

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

printf 'rows %d, median of %d alternating runs, whole process, PostgreSQL %s\n' "$rows" "$runs" \
  "$("${psql[@]}" -Atc 'SHOW server_version')"
printf '%-18s %10s %10s %7s %12s %12s\n' "load" "velkindex" "psql" "ratio" "velk peak" "psql peak"
for what in topic codes desc; do
  case $what in
    topic) vset=fresh; label="topic create" ;;
    codes) vset=fresh; label="code create" ;;
    desc) vset=withcodes; label="code description" ;;
  esac
  : > "$work/v"; : > "$work/s"
  for ((r = 0; r < runs; r++)); do
    once "$vset" "velk_$what" >> "$work/v"
    once "$vset" "psql_$what" >> "$work/s"
  done
  v=$(cut -d' ' -f1 "$work/v" | median); s=$(cut -d' ' -f1 "$work/s" | median)
  vm=$(cut -d' ' -f2 "$work/v" | peak); sm=$(cut -d' ' -f2 "$work/s" | peak)
  printf '%-18s %9.3fs %9.3fs %6.2fx %8.1f MiB %8.1f MiB\n' "$label" "$v" "$s" \
    "$(echo "$v $s" | awk '{ print $1 / $2 }')" "$(echo "$vm" | awk '{ print $1 / 1024 }')" \
    "$(echo "$sm" | awk '{ print $1 / 1024 }')"
done
