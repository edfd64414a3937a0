#!/usr/bin/env bash
# Builds a static release Qt for 64-bit Windows (win32-g++, MinGW-w64) from Debian's own
# qt6-base source, the same version as the host's Qt tools, and prints the folder it is
# installed in. The folder is a cache outside the clone, keyed by the Qt version and the
# content of this script and of the toolchain file, so the build (about 20 minutes on two
# cores) runs once per machine:
#   ${XDG_CACHE_HOME:-~/.cache}/brindlewick/qt-windows-<version>-<hash>
#   tools/build-qt-windows.sh                      fetches the source with apt-get source
#   BRINDLEWICK_QT_SOURCE=DIR tools/build-qt-windows.sh   takes the .dsc and tarballs in DIR
# Progress goes to stderr, the build's output to the folder's name with .log; stdout is the
# folder alone.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
toolchain=$root/cmake/mingw-w64-x86_64.cmake
exec 3>&1 1>&2

tools/deps.sh qt-windows
version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
key=$(cat "$root/tools/build-qt-windows.sh" "$toolchain" | sha256sum | cut -c1-12)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/brindlewick
prefix=$cache/qt-windows-$version-$key
# Written last: a folder without it is an interrupted build.
done_mark=$prefix/.complete

mkdir -p "$cache"
exec 4>"$cache/qt-windows.lock"
flock 4
if [ -f "$done_mark" ]; then
  echo "Qt for Windows: $prefix (cached)"
  echo "$prefix" >&3
  exit 0
fi

start=$SECONDS
step() { echo "== Qt for Windows: $* ($((SECONDS - start)) s)"; }
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo

build=$prefix.build
log=$prefix.log
rm -rf "$prefix" "$build"
mkdir -p "$build/source"
trap 'rm -rf "$build"' EXIT
: >"$log"
logged() {
  "$@" >>"$log" 2>&1 || {
    tail -40 "$log"
    echo "Qt for Windows: failed, the whole log is $log"
    exit 1
  }
}

if [ -n "${BRINDLEWICK_QT_SOURCE:-}" ]; then
  dsc=$(ls "$BRINDLEWICK_QT_SOURCE"/qt6-base_"${version#*:}".dsc)
else
  # apt-get source needs a deb-src entry: Debian's own entry, as source.
  if ! apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package: qt6-base$'; then
    step "adding a deb-src entry"
    list=/etc/apt/sources.list.d/debian.sources
    if [ -f "$list" ]; then
      sed 's/^Types: deb$/Types: deb-src/' "$list" | $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
    else
      sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/debian-src.list >/dev/null
    fi
    $sudo apt-get update -qq
  fi
  step "apt-get source qt6-base=$version"
  (cd "$build/source" && apt-get source --download-only -qq "qt6-base=$version")
  dsc=$(ls "$build"/source/qt6-base_*.dsc)
fi
step "unpacking $(basename "$dsc")"
logged dpkg-source -x "$dsc" "$build/source/qtbase"

step "configuring"
mkdir "$build/qt"
cd "$build/qt"
logged "$build/source/qtbase/configure" -prefix "$prefix" -release -static -static-runtime -xplatform win32-g++ \
  -qt-host-path /usr -nomake examples -nomake tests \
  -no-opengl -no-vulkan -no-dbus -no-icu -no-zstd \
  -qt-zlib -qt-libpng -qt-libjpeg -qt-harfbuzz -qt-freetype -qt-pcre \
  -no-feature-sql -no-feature-network -no-feature-xml \
  -no-feature-tabletevent -no-feature-direct2d1_1 -no-feature-androiddeployqt \
  -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
step "building"
logged ninja -j"$(nproc)"
logged ninja install
touch "$done_mark"
step "done, $(du -sh "$prefix" | cut -f1) in $prefix"
echo "$prefix" >&3
