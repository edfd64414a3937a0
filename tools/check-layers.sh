#!/usr/bin/env bash
# Fails when a folder's sources include a folder that its row of the README's layer table
# (the table headed "| folder | uses |") does not name, or Qt where the row names none. A
# folder is included by its own name ("doc/x.h" is docgen/doc/); includes of folders the table
# does not list (system headers, tests/support/) are not checked. CTest runs it, and .ci/run
# before anything is built.
#   tools/check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# "folder<TAB>uses" for each row of the table, every name without backquotes.
rows=$(awk '
  /^\| folder \| uses \|/ { table = 1; next }
  table && /^\|---/ { next }
  table && !/^\|/ { exit }
  table {
    split($0, cell, "|")
    folder = cell[2]; uses = cell[3]
    gsub(/[ `]/, "", folder)
    gsub(/`/, "", uses)
    gsub(/^ +| +$/, "", uses)
    print folder "\t" uses
  }' README.md)
[ -n "$rows" ] || { echo "check-layers: README.md has no layer table" >&2; exit 2; }

declare -A folder_of # the name a folder is included by -> the folder
while IFS=$'\t' read -r folder _; do
  name=${folder%/}
  folder_of[${name##*/}]=$folder
done <<<"$rows"

failures=0
while IFS=$'\t' read -r folder uses; do
  [ -d "$folder" ] || { echo "check-layers: the table names $folder, which is not there" >&2; exit 2; }
  own=${folder%/}
  own=${own##*/}
  while IFS=: read -r file line text; do
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"\<]([A-Za-z0-9_]+)/ ]]; then
      name=${BASH_REMATCH[1]}
      used=${folder_of[$name]:-}
      if [ -z "$used" ] || [ "$name" = "$own" ]; then continue; fi
      case ", $uses," in *", $used"[,\ ]*) continue ;; esac
      echo "$file:$line: includes $used, which $folder may not use"
      failures=$((failures + 1))
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<Q ]]; then
      case " $uses" in *" Qt"*) continue ;; esac
      echo "$file:$line: includes Qt, which $folder may not use"
      failures=$((failures + 1))
    fi
  done < <(find "$folder" -maxdepth 1 -type f \( -name '*.h' -o -name '*.cpp' \) -print0 |
    sort -z | xargs -0 -r grep -HnE '^[[:space:]]*#[[:space:]]*include' || true)
done <<<"$rows"

if [ "$failures" -ne 0 ]; then
  echo "check-layers: $failures includes cross the README's layer table"
  exit 1
fi
echo "check-layers: every folder includes only what the README's layer table lets it"
