#!/usr/bin/env bash
# Installs the Debian packages a build needs, only when some are missing.
#   tools/deps.sh run    what building and starting the program needs
#   tools/deps.sh test   that, plus what the tests need (independent .doc readers, Xvfb, clang,
#                        the Debian package's checkers)
set -euo pipefail
# file: CPack's Debian generator picks the binaries to find library dependencies for with it.
run_pkgs=(build-essential cmake ninja-build qt6-base-dev fonts-liberation2 xvfb xauth file)
test_pkgs=(libqt6test6 clang-format antiword wv libreoffice-writer-nogui poppler-utils clang libclang-rt-14-dev imagemagick
  lintian desktop-file-utils appstream)
pkgs=("${run_pkgs[@]}")
[ "${1:-run}" = test ] && pkgs+=("${test_pkgs[@]}")
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
