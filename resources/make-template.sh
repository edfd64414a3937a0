#!/usr/bin/env bash
# Regenerates template.doc from template.fodt with LibreOffice, then checks it with the
# build's templatecheck (`cmake --build build --target templatecheck`; BUILD names another
# build folder). Only needed after editing template.fodt: the build uses the committed .doc.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
check="${BUILD:-$here/../build}/bin/templatecheck"
[ -x "$check" ] || { echo "build $check first" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A private profile keeps the conversion independent of the user's LibreOffice settings
# (autocorrect, default fonts) and of any running LibreOffice.
soffice --headless --norestore -env:UserInstallation="file://$work/profile" \
  --convert-to doc:"MS Word 97" --outdir "$work" "$here/template.fodt" >/dev/null
[ -s "$work/template.doc" ] || { echo "LibreOffice wrote no template.doc" >&2; exit 1; }

"$check" "$work/template.doc"
mv "$work/template.doc" "$here/template.doc"
echo "wrote $here/template.doc ($(stat -c %s "$here/template.doc") bytes)"
