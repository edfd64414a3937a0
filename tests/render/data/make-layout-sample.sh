#!/usr/bin/env bash
# Regenerates layout-sample.doc from layout-sample.fodt with LibreOffice.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
soffice --headless --norestore -env:UserInstallation="file://$work/profile" \
  --convert-to doc:"MS Word 97" --outdir "$work" "$here/layout-sample.fodt" >/dev/null
[ -s "$work/layout-sample.doc" ] || { echo "LibreOffice wrote no layout-sample.doc" >&2; exit 1; }
mv "$work/layout-sample.doc" "$here/layout-sample.doc"
