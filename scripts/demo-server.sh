#!/usr/bin/env bash
# The demo of scripts/demo.sh against a throwaway local PostgreSQL server
# (scripts/pg-cluster.sh): the same batch runs, the library on the server
# instead of in a file. With a display the main window opens on it; the
# server is stopped and removed when the demo ends.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"
bash "$top/scripts/build.sh"
build=${VELK_BUILD_DIR:-$top/build}
velk="$build/bin/velkindex"
ex="$top/examples/"

cluster=${VELK_DEMO_DIR:-$build/demo}/server
VELK_REQUIRE_PG=1 bash "$top/scripts/pg-cluster.sh" start "$cluster"
trap 'bash "$top/scripts/pg-cluster.sh" stop "$cluster"' EXIT
db=$(cat "$cluster/uri")
psql=("$(cat "$cluster/bindir")/psql" -X -q "$db")

batch() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$velk" "$@"; }

batch "$db" topic create ADULT ADU "$ex" adult-index.txt
batch "$db" topic create CHILD CHI "$ex" child-index.txt

# Coding systems are added by the administrator; see the README.
"${psql[@]}" -c "INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD'), ('CPT');"
batch "$db" code create ICD "$ex" codes-icd.txt
batch "$db" code description ICD "$ex" descriptions-icd.txt
batch "$db" code create CPT "$ex" codes-cpt.txt
batch "$db" code description CPT "$ex" descriptions-cpt.txt

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Opening $db"
  "$velk" "$db"
  exit 0
fi

echo "No display: here is what the demo library $db holds."
"${psql[@]}" -P pager=off <<'SQL'
\echo Modules
SELECT ModuleID, ModuleName, DirectoryPrefix FROM modules ORDER BY ModuleID;
\echo Topic trees (description [stored document])
WITH RECURSIVE tree(id, module, depth, path) AS (
  SELECT TopicID, ModuleID, 0, lpad(TopicID::text, 10, '0') FROM topics WHERE ParentID = 0
  UNION ALL
  SELECT t.TopicID, t.ModuleID, tree.depth + 1, tree.path || lpad(t.TopicID::text, 10, '0')
  FROM topics t JOIN tree ON t.ParentID = tree.id
)
SELECT m.ModuleName || ': ' || repeat(' ', 2 * tree.depth) || rtrim(t.Description)
       || CASE WHEN t.PatEdDocument <> '' THEN '  [' || t.PatEdDocument || ']' ELSE '' END AS topic
FROM tree JOIN topics t ON t.TopicID = tree.id JOIN modules m ON m.ModuleID = tree.module
ORDER BY tree.module, tree.path;
\echo Codes
SELECT s.CodingSystemName, c.Code, c.PatEdDocument, c.Description
FROM codes c JOIN codingsystems s USING (CodingSystemID) ORDER BY s.CodingSystemID, c.CodeID;
\echo Defaults
SELECT DefaultModule FROM patEdDefaults;
SQL
