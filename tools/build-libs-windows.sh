#!/usr/bin/env bash
# Builds the .docx engine's libraries for 64-bit Windows (MinGW-w64) as static libraries from
# Debian's own sources, and prints the folder they are installed in: minizip (Debian's `minizip`,
# zlib's contrib/minizip) over the zlib of libz-mingw-w64-dev, and expat. The folder is a cache
# outside the clone, keyed by the content of this script and of the toolchain file and by the
# source versions apt offers, so the build (a minute) runs once per machine and again when Debian
# publishes a fixed source:
#   ${XDG_CACHE_HOME:-~/.cache}/brindlewick/libs-windows-<hash>
# tools/build-windows.sh hands it to CMake with QT_ADDITIONAL_PACKAGES_PREFIX_PATH. Progress goes
# to stderr, the build's output to the folder's name with .log; stdout is the folder alone.
#   tools/build-libs-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
toolchain=$root/cmake/mingw-w64-x86_64.cmake
exec 3>&1 1>&2
sources=(minizip expat)

tools/deps.sh qt-windows
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
# apt-get source needs a deb-src entry: Debian's own entry, as source.
if ! apt-cache showsrc expat 2>/dev/null | grep '^Package: expat$' >/dev/null; then
  echo "== libraries for Windows: adding a deb-src entry"
  list=/etc/apt/sources.list.d/debian.sources
  if [ -f "$list" ]; then
    sed 's/^Types: deb$/Types: deb-src/' "$list" | $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  fi
  $sudo apt-get update -qq
fi
# Each source's versions, newest first.
versions() { apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -u -r -V; }
key=$( (cat "$root/tools/build-libs-windows.sh" "$toolchain"; for s in "${sources[@]}"; do versions "$s"; done) |
  sha256sum | cut -c1-12)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/brindlewick
prefix=$cache/libs-windows-$key
# Written last: a folder without it is an interrupted build.
done_mark=$prefix/.complete

mkdir -p "$cache"
exec 4>"$cache/libs-windows.lock"
flock 4
if [ -f "$done_mark" ]; then
  echo "libraries for Windows: $prefix (cached)"
  echo "$prefix" >&3
  exit 0
fi

start=$SECONDS
step() { echo "== libraries for Windows: $* ($((SECONDS - start)) s)"; }
build=$prefix.build
log=$prefix.log
rm -rf "$prefix" "$build"
mkdir -p "$build/source" "$prefix/include/minizip" "$prefix/lib"
trap 'rm -rf "$build"' EXIT
: >"$log"
logged() {
  "$@" >>"$log" 2>&1 || {
    tail -40 "$log"
    echo "libraries for Windows: failed, the whole log is $log"
    exit 1
  }
}

# The newest version the mirror still holds: a security archive may list one it no longer serves.
for s in "${sources[@]}"; do
  fetched=""
  for version in $(versions "$s"); do
    if (cd "$build/source" && apt-get source --download-only -qq "$s=$version" >>"$log" 2>&1); then
      fetched=$version
      break
    fi
  done
  [ -n "$fetched" ] || { echo "libraries for Windows: no source of $s could be fetched"; exit 1; }
  step "unpacking $s $fetched"
  logged dpkg-source -x "$build/source/${s}_${fetched#*:}.dsc" "$build/$s"
  echo "$s $fetched" >>"$prefix/versions"
done

step "building minizip"
cc=$(sed -n 's/^set(CMAKE_C_COMPILER \(.*\))$/\1/p' "$toolchain")
ar=$(sed -n 's/^set(CMAKE_AR \([^ ]*\) .*$/\1/p' "$toolchain")
# The zip reading and writing alone, as Debian's libminizip is built; the archive comes and goes
# through the program's own callbacks, never Windows' file calls.
for unit in ioapi unzip zip; do
  logged "$cc" -O2 -c "$build/minizip/$unit.c" -o "$build/minizip/$unit.o"
done
logged "$ar" rcs "$prefix/lib/libminizip.a" "$build"/minizip/{ioapi,unzip,zip}.o
cp "$build"/minizip/{ioapi,unzip,zip}.h "$prefix/include/minizip/"

step "building expat"
# Debian's fixes test the features' macros as autotools defines them, as 1; CMake's template
# defines them empty.
sed -i 's/^#cmakedefine \(XML_[A-Z_]*\)$/#cmakedefine \1 1/' "$build/expat/expat/expat_config.h.cmake"
logged cmake -S "$build/expat/expat" -B "$build/expat-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DEXPAT_SHARED_LIBS=OFF \
  -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF \
  -DEXPAT_BUILD_PKGCONFIG=OFF
logged cmake --build "$build/expat-build" --target install
touch "$done_mark"
step "done in $prefix: $(tr '\n' ' ' <"$prefix/versions")"
echo "$prefix" >&3
