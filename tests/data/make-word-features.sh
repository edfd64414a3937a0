#!/usr/bin/env bash
# Regenerates word-features.doc from word-features.fodt with LibreOffice.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
soffice --headless --norestore -env:UserInstallation="file://$work/profile" \
  --convert-to doc:"MS Word 97" --outdir "$work" "$here/word-features.fodt" >/dev/null
[ -s "$work/word-features.doc" ] || { echo "LibreOffice wrote no word-features.doc" >&2; exit 1; }
mv "$work/word-features.doc" "$here/word-features.doc"
