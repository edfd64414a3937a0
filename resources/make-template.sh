#!/usr/bin/env bash
# Regenerates the built-in templates' .doc files from their .fodt sources with LibreOffice:
# template.doc, which the build's templatecheck then checks (`cmake --build build --target
# templatecheck`; BUILD names another build folder), and home-improvement.doc. Only needed
# after editing a .fodt: the build uses the committed .doc files.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
check="${BUILD:-$here/../build}/bin/templatecheck"
[ -x "$check" ] || { echo "build $check first" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A private profile keeps the conversion independent of the user's LibreOffice settings
# (autocorrect, default fonts) and of any running LibreOffice.
convert() {
  soffice --headless --norestore -env:UserInstallation="file://$work/profile" \
    --convert-to doc:"MS Word 97" --outdir "$work" "$here/$1.fodt" >/dev/null
  [ -s "$work/$1.doc" ] || { echo "LibreOffice wrote no $1.doc" >&2; exit 1; }
}

convert template
"$check" "$work/template.doc"
convert home-improvement
for name in template home-improvement; do
  mv "$work/$name.doc" "$here/$name.doc"
  echo "wrote $here/$name.doc ($(stat -c %s "$here/$name.doc") bytes)"
done
