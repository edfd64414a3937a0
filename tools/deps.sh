#!/usr/bin/env bash
# Installs the Debian packages a build needs, only when some are missing.
#   tools/deps.sh run      what building and starting the program needs
#   tools/deps.sh test     that, plus what the tests need (independent .doc readers, Xvfb, clang,
#                          the Debian package's checkers, a CUPS print queue that writes PDF, a CJK
#                          font whose Kangxi radicals share the ideographs' glyphs, the X libraries and the
#                          window manager bench_window drives the program with)
#   tools/deps.sh windows  what cross-building the engine for Windows and running it under Wine needs
set -euo pipefail
build_pkgs=(build-essential cmake ninja-build)
# file: CPack's Debian generator picks the binaries to find library dependencies for with it.
run_pkgs=(qt6-base-dev fonts-liberation2 xvfb xauth file)
test_pkgs=(libqt6test6 clang-format antiword wv libreoffice-writer-nogui poppler-utils clang libclang-rt-14-dev imagemagick
  lintian desktop-file-utils appstream cups cups-filters printer-driver-cups-pdf ghostscript fonts-noto-cjk
  libx11-dev libxtst-dev libxdamage-dev libxfixes-dev openbox)
# 64-bit Wine alone: no i386 architecture is needed for a 64-bit program.
windows_pkgs=(g++-mingw-w64-x86-64 wine wine64)
case "${1:-run}" in
  run) pkgs=("${build_pkgs[@]}" "${run_pkgs[@]}") ;;
  test) pkgs=("${build_pkgs[@]}" "${run_pkgs[@]}" "${test_pkgs[@]}") ;;
  windows) pkgs=("${build_pkgs[@]}" "${windows_pkgs[@]}") ;;
  *) echo "usage: tools/deps.sh [run|test|windows]" >&2; exit 2 ;;
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
