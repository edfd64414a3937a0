#!/usr/bin/env bash
# Installs the Debian packages a build needs, only when some are missing.
#   tools/deps.sh run      what building and starting the program needs
#   tools/deps.sh test     that, plus what the tests need (independent .doc readers, xmllint, Xvfb, clang,
#                          the Debian package's checkers, a CUPS print queue that writes PDF, a CJK
#                          font whose Kangxi radicals share the ideographs' glyphs, the X libraries and the
#                          window manager bench_window drives the program with)
#   tools/deps.sh qt-windows  what building Qt and the .docx engine's libraries for Windows from
#                             Debian's source needs
#   tools/deps.sh windows-app what cross-building the whole program, packing it and checking it
#                             under Wine (tests, installer, a real window under Xvfb) needs
set -euo pipefail
# zlib's minizip holds the .docx engine's zip container, expat reads its XML.
build_pkgs=(build-essential cmake ninja-build zlib1g-dev libminizip-dev libexpat1-dev)
qt_pkgs=(qt6-base-dev)
xvfb_pkgs=(xvfb xauth)
# 64-bit Wine alone: no i386 architecture is needed for a 64-bit program.
wine_pkgs=(wine wine64)
# zlib for Windows under minizip, which tools/build-libs-windows.sh builds from Debian's source.
mingw_pkgs=(g++-mingw-w64-x86-64 libz-mingw-w64-dev)
# antiword reads saved documents back, openbox manages the windows on Xvfb, ImageMagick's
# import takes the screenshots.
window_check_pkgs=(antiword openbox imagemagick)
# file: CPack's Debian generator picks the binaries to find library dependencies for with it. Carlito
# and Caladea, which the package recommends, set Calibri and Cambria for the program and LibreOffice alike;
# DejaVu draws the scripts those lack (Arabic, Hebrew, Greek) and stands in for fonts no system has.
run_pkgs=("${qt_pkgs[@]}" fonts-liberation2 fonts-crosextra-carlito fonts-crosextra-caladea fonts-dejavu-core
  "${xvfb_pkgs[@]}" file)
test_pkgs=(libqt6test6 clang-format wv libreoffice-writer-nogui poppler-utils libxml2-utils clang libclang-rt-14-dev
  lintian desktop-file-utils appstream cups cups-filters printer-driver-cups-pdf ghostscript fonts-noto-cjk
  libx11-dev libxtst-dev libxdamage-dev libxfixes-dev "${window_check_pkgs[@]}")
# The host's Qt tools build Qt for Windows from the same version's source.
qt_windows_pkgs=("${mingw_pkgs[@]}" "${qt_pkgs[@]}" qt6-base-dev-tools dpkg-dev xz-utils)
# The installer and the program checked on a real window under Wine: xdotool and xclip drive it.
windows_app_pkgs=("${wine_pkgs[@]}" nsis "${xvfb_pkgs[@]}" xdotool xclip "${window_check_pkgs[@]}")
case "${1:-run}" in
  run) pkgs=("${build_pkgs[@]}" "${run_pkgs[@]}") ;;
  test) pkgs=("${build_pkgs[@]}" "${run_pkgs[@]}" "${test_pkgs[@]}") ;;
  qt-windows) pkgs=("${build_pkgs[@]}" "${qt_windows_pkgs[@]}") ;;
  windows-app) pkgs=("${build_pkgs[@]}" "${qt_windows_pkgs[@]}" "${windows_app_pkgs[@]}") ;;
  *) echo "usage: tools/deps.sh [run|test|qt-windows|windows-app]" >&2; exit 2 ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
