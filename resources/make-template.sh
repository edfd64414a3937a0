#!/usr/bin/env bash
# Regenerates the built-in templates' .doc and .docx files from their .fodt sources with
# LibreOffice: template.doc and template.docx, which the build's templatecheck then checks
# (`cmake --build build --target templatecheck`; BUILD names another build folder), and
# home-improvement.doc and .docx. Only needed after editing a .fodt: the build uses the
# committed files.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
check="${BUILD:-$here/../build}/bin/templatecheck"
[ -x "$check" ] || { echo "build $check first" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A private profile keeps the conversion independent of the user's LibreOffice settings
# (autocorrect, default fonts) and of any running LibreOffice.
# convert NAME EXTENSION FILTER
convert() {
  soffice --headless --norestore -env:UserInstallation="file://$work/profile" \
    --convert-to "$2:$3" --outdir "$work" "$here/$1.fodt" >/dev/null
  [ -s "$work/$1.$2" ] || { echo "LibreOffice wrote no $1.$2" >&2; exit 1; }
}

for name in template home-improvement; do
  convert "$name" doc "MS Word 97"
  convert "$name" docx "MS Word 2007 XML"
done
"$check" "$work/template.doc"
"$check" "$work/template.docx"
for file in template.doc template.docx home-improvement.doc home-improvement.docx; do
  mv "$work/$file" "$here/$file"
  echo "wrote $here/$file ($(stat -c %s "$here/$file") bytes)"
done
