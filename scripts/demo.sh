#!/usr/bin/env bash
# Builds VELKINDEX, makes a demo database from the files in examples/ with
# batch runs, and opens the main window on it. Without a display it prints
# what was stored instead. Installs missing Debian packages first.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"
bash "$top/scripts/build.sh"
build=${VELK_BUILD_DIR:-$top/build}
velk="$build/bin/velkindex"
ex="$top/examples/"

demo=${VELK_DEMO_DIR:-$build/demo}
mkdir -p "$demo"
db="$demo/demo.db"
rm -f "$db" "$db-wal" "$db-shm"

# Batch runs need no display.
batch() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$velk" "$@"; }

batch "$db" topic create ADULT ADU "$ex" adult-index.txt
batch "$db" topic create CHILD CHI "$ex" child-index.txt

# Coding systems are added by the administrator; see the README.
sqlite3 "$db" "INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD'), ('CPT');"
batch "$db" code create ICD "$ex" codes-icd.txt
batch "$db" code description ICD "$ex" descriptions-icd.txt
batch "$db" code create CPT "$ex" codes-cpt.txt
batch "$db" code description CPT "$ex" descriptions-cpt.txt

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Opening $db"
  exec "$velk" "$db"
fi

echo "No display: here is what the demo database $db holds."
sqlite3 "$db" <<'SQL'
.print
.print Modules (ModuleID|ModuleName|DirectoryPrefix)
SELECT ModuleID, ModuleName, DirectoryPrefix FROM modules ORDER BY ModuleID;
.print
.print Topic trees (description [stored document])
WITH RECURSIVE tree(id, module, depth, path) AS (
  SELECT TopicID, ModuleID, 0, printf('%010d', TopicID) FROM topics WHERE ParentID = 0
  UNION ALL
  SELECT t.TopicID, t.ModuleID, tree.depth + 1, tree.path || printf('%010d', t.TopicID)
  FROM topics t JOIN tree ON t.ParentID = tree.id
)
SELECT m.ModuleName || ': ' || substr('                                        ', 1, 2 * tree.depth)
       || rtrim(t.Description)
       || CASE WHEN t.PatEdDocument <> '' THEN '  [' || t.PatEdDocument || ']' ELSE '' END
FROM tree JOIN topics t ON t.TopicID = tree.id JOIN modules m ON m.ModuleID = tree.module
ORDER BY tree.module, tree.path;
.print
.print Codes (system|code|document|description)
SELECT s.CodingSystemName, c.Code, c.PatEdDocument, c.Description
FROM codes c JOIN codingsystems s USING (CodingSystemID) ORDER BY s.CodingSystemID, c.CodeID;
.print
.print Defaults
SELECT 'DefaultModule: ' || DefaultModule FROM patEdDefaults;
SQL
