#!/usr/bin/env bash
# Runs doctool.exe, the document engine of the Windows build, under Wine beside the Linux
# doctool built from the same sources: reading the template, typing into it and saving under a
# folder and name outside ASCII, and reading that back. Fails on any difference.
# tools/build-windows.sh runs it on the doctools it has built.
#   tools/check-windows-engine.sh LINUX_DOCTOOL WINDOWS_DOCTOOL_EXE
set -euo pipefail
linux=$(realpath "$1")
windows=$(realpath "$2")
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS
step() { echo "== $* ($((SECONDS - start)) s)"; }

# shellcheck source=tools/wine.sh
. tools/wine.sh
unset DISPLAY
failures=0
same() { # what, expected file, actual file
  if cmp -s "$2" "$3"; then
    echo "ok: $1"
  else
    echo "FAILED: $1"
    diff "$2" "$3" | head -20 || true
    failures=$((failures + 1))
  fi
}

step "starting Wine"
start_wine

template=$root/resources/template.doc
step "doctool.exe text resources/template.doc"
"$linux" text "$template" >"$work/template.linux.txt"
wine "$windows" text "$(winpath "$template")" >"$work/template.windows.txt"
same "the template's text" "$work/template.linux.txt" "$work/template.windows.txt"

folder="$work/Verträge 契约"
name="Vertrag für Zoë 张伟.doc"
mkdir -p "$folder"
insertions=(0 "Zoë Ångström – 张伟 😀" 120 "Straße 5, Malmö")
step "doctool.exe insert into \"$name\""
"$linux" insert "$template" "$work/linux.doc" "${insertions[@]}"
# Twice: the second save replaces the first document.
for _ in 1 2; do
  wine "$windows" insert "$(winpath "$template")" "$(winpath "$folder/$name")" "${insertions[@]}"
done
if [ -f "$folder/$name" ] && [ "$(find "$folder" -mindepth 1 | wc -l)" -eq 1 ]; then
  echo "ok: saved under its own name, nothing beside it"
  same "the saved document" "$work/linux.doc" "$folder/$name"
else
  echo "FAILED: not just $name in $folder:"
  ls -la "$folder"
  failures=$((failures + 1))
fi

step "doctool.exe text of \"$name\""
"$linux" text "$work/linux.doc" >"$work/out.linux.txt"
wine "$windows" text "$(winpath "$folder/$name")" >"$work/out.windows.txt"
same "the saved document's text" "$work/out.linux.txt" "$work/out.windows.txt"
for ((i = 1; i < ${#insertions[@]}; i += 2)); do
  if grep -qF "${insertions[i]}" "$work/out.windows.txt"; then
    echo "ok: \"${insertions[i]}\" came back"
  else
    echo "FAILED: \"${insertions[i]}\" did not come back"
    failures=$((failures + 1))
  fi
done

step "done"
if [ "$failures" -ne 0 ]; then
  echo "windows engine check: $failures failed"
  exit 1
fi
echo "windows engine check: passed"
