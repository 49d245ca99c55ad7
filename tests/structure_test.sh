#!/usr/bin/env bash
# The structure the code keeps: each folder includes only the folders below it
#   platform <- core <- (config, db) <- schema <- import <- app <- main, and platform <- jetfile <- db
# SQLite's handles are opened, finalized and closed in one file, and no thread is left detached.
#   structure_test.sh <source folder>
set -euo pipefail
cd "$1/src"
declare -A allowed=(
  [platform]="platform"
  [core]="platform core"
  [config]="platform core config"
  [jetfile]="platform jetfile"
  [db]="platform core jetfile db"
  [schema]="platform core config db schema"
  [import]="platform core config db schema import"
  [app]="platform core config db schema import app"
)
failed=0
for folder in "${!allowed[@]}"; do
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([^"/]+)\/.*/\1/' <<<"${line#*:}")
    case " ${allowed[$folder]} " in
      *" $target "*) ;;
      *) echo "structure: $file includes from $target/, which $folder/ must not lean on"; failed=1 ;;
    esac
  done < <(grep -rHE '^#include "[^"/]+/' "$folder" || true)
done
for call in sqlite3_open sqlite3_close sqlite3_finalize; do
  files=$(grep -rlw -E "${call}(_v2)?" . || true)
  if [ "$(wc -w <<<"$files")" -gt 1 ]; then
    echo "structure: $call is called in more than one file:" $files
    failed=1
  fi
done
if grep -rn '\.detach()' . ; then
  echo "structure: a thread is left detached"
  failed=1
fi
[ $failed -eq 0 ] && echo "structure: every folder leans only on those below it"
exit $failed
