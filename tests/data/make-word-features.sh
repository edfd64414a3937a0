#!/usr/bin/env bash
# Regenerates the LibreOffice-written fixtures (word-features.doc, word-header.doc, tags.doc,
# word-stories.doc) from their .fodt sources; with names given, only those.
# The own-*.doc files are templates a contractor would make with {{Name}} tags (plain,
# letterhead, tables, numbered clauses, a half-bold tag) and one faulty template with one of
# each fault; the template tests list, fill and read them back.
# The layout-*.doc files each hold one side of a page as Word draws it (headers, tables, pictures,
# lists, sections, character and paragraph look, text boxes, fonts); the page layout is measured
# against LibreOffice's own print of them. Each is written as layout-*.docx too, measured the same way.
# The structure-*.doc files hold the tables, sections and header stories the engine's read model is
# checked on (merged and nested cells, a centred table, first, odd and even headers, a page number restart).
# look-extras.doc holds the look and list labels the layout files leave out; bench-agreement.doc is
# the ten-page agreement the renderer's and the preview's benchmarks lay out.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for name in ${*:-word-features word-header word-stories tags own-plain own-letterhead own-tables own-clauses
  own-halfbold own-faulty layout-headers layout-tables layout-pictures layout-lists layout-sections layout-look
  layout-textboxes layout-fonts structure-tables structure-sections look-extras bench-agreement}; do
  soffice --headless --norestore -env:UserInstallation="file://$work/profile" \
    --convert-to doc:"MS Word 97" --outdir "$work" "$here/$name.fodt" >/dev/null
  [ -s "$work/$name.doc" ] || { echo "LibreOffice wrote no $name.doc" >&2; exit 1; }
  mv "$work/$name.doc" "$here/$name.doc"
  case "$name" in
  layout-*)
    soffice --headless --norestore -env:UserInstallation="file://$work/profile" \
      --convert-to docx:"MS Word 2007 XML" --outdir "$work" "$here/$name.fodt" >/dev/null
    [ -s "$work/$name.docx" ] || { echo "LibreOffice wrote no $name.docx" >&2; exit 1; }
    mv "$work/$name.docx" "$here/$name.docx"
    ;;
  esac
done
