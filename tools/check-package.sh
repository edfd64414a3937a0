#!/usr/bin/env bash
# Makes the Debian package from a configured build folder (build/, RelWithDebInfo, as ./test.sh
# and ./run.sh configure it) and checks it: packaging twice gives the same bytes, lintian finds
# no error or warning, the desktop entry and the AppStream metadata validate, and the package
# holds exactly the expected files.
# Needs lintian, desktop-file-validate (desktop-file-utils) and appstreamcli (appstream);
# without one of them it checks nothing and exits with 77.
#   tools/check-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
id=example.quillmark.BrindlewickPaperworkStudio
icons=./usr/share/icons/hicolor
expected=(
  ./usr/bin/brindlewick
  "./usr/share/applications/$id.desktop"
  "./usr/share/metainfo/$id.metainfo.xml"
  "$icons/scalable/apps/$id.svg"
  "$icons/16x16/apps/$id.png"
  "$icons/32x32/apps/$id.png"
  "$icons/48x48/apps/$id.png"
  "$icons/64x64/apps/$id.png"
  "$icons/128x128/apps/$id.png"
  "$icons/256x256/apps/$id.png"
  ./usr/share/man/man1/brindlewick.1.gz
  ./usr/share/doc/brindlewick/copyright
  ./usr/share/doc/brindlewick/changelog.Debian.gz
  ./usr/share/lintian/overrides/brindlewick
)

for tool in lintian desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "check-package: skipped, $tool is not installed"; exit 77; }
done

[ -f "$dir/CMakeCache.txt" ] || { echo "check-package: $dir is not configured (./test.sh does it)" >&2; exit 2; }
rm -f "$dir"/brindlewick_*.deb
cmake --build "$dir" --target package
debs=("$dir"/brindlewick_*.deb)
deb=${debs[0]}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$deb" "$work/first.deb"
cmake --build "$dir" --target package >"$work/again.log" 2>&1 || { cat "$work/again.log"; exit 1; }
if ! cmp "$work/first.deb" "$deb"; then
  echo "check-package: packaging the same build twice gave different bytes" >&2
  exit 1
fi

lintian --fail-on error,warning "$deb"
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$id.metainfo.xml"

if ! diff -u <(printf '%s\n' "${expected[@]}" | sort) \
     <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort); then
  echo "check-package: the package's files (+) differ from the expected install set (-)" >&2
  exit 1
fi
# The installed program alone, without a display: an agreement written and read back.
program="$work/root/usr/bin/brindlewick"
env -u DISPLAY -u WAYLAND_DISPLAY "$program" fill --date 2027-03-15 --contractor "Tobias Quenby" \
  --owner "Corwin Ashdale" --location "12 Elm Row" --work "A garden shed" --price 12500 \
  --payments "Half before work starts" -o "$work/agreement.doc"
env -u DISPLAY -u WAYLAND_DISPLAY "$program" read "$work/agreement.doc" | grep -qx "owner=Corwin Ashdale" || {
  echo "check-package: the installed program did not read back the agreement it wrote" >&2
  exit 1
}
echo "check-package: $deb is sound"
