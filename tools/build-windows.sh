#!/usr/bin/env bash
# Cross-builds the whole program for 64-bit Windows (MinGW-w64, everything linked statically
# against the Qt that tools/build-qt-windows.sh and the .docx libraries that
# tools/build-libs-windows.sh make once per machine), runs every test
# program under Wine on the offscreen platform, packs
#   build-windows/app/brindlewick-<version>-setup.exe   the installer (per user)
#   build-windows/app/brindlewick-<version>-windows.zip the program alone
# checks its doctool.exe beside the Linux one (tools/check-windows-engine.sh, the Linux doctool
# built alone in build-windows/linux/) and the installer and the installed program on a real
# window (tools/check-windows-app.sh).
#   tools/build-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS
step() { echo "== $* ($((SECONDS - start)) s)"; }

step "packages"
tools/deps.sh windows-app
step "Qt for Windows"
qt=$(tools/build-qt-windows.sh)
step "libraries for Windows"
libs=$(tools/build-libs-windows.sh)

dir=build-windows/app
# Wine runs the test programs; the toolchain file is named again in case the clone that built
# Qt was elsewhere.
opts=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DBRINDLEWICK_TESTS=ON -DCMAKE_CROSSCOMPILING_EMULATOR=wine
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQT_ADDITIONAL_PACKAGES_PREFIX_PATH="$libs")
[ "${CI:-}" = true ] && opts+=(-DBRINDLEWICK_WERROR=ON)
# A tree configured against another Qt (one built before the script changed) keeps finding that
# Qt through its cache: it starts afresh.
if [ -f "$dir/CMakeCache.txt" ] && ! grep -qF "Qt6_DIR:PATH=$qt/" "$dir/CMakeCache.txt"; then
  rm -rf "$dir"
fi
step "building $dir"
"$qt/bin/qt-cmake" -S . -B "$dir" "${opts[@]}" >/dev/null
cmake --build "$dir"
rm -f "$dir"/brindlewick-*-setup.exe "$dir"/brindlewick-*-windows.zip
cmake --build "$dir" --target windows-packages
setups=("$dir"/brindlewick-*-setup.exe)
zips=("$dir"/brindlewick-*-windows.zip)

# shellcheck source=tools/wine.sh
. tools/wine.sh
unset DISPLAY

step "starting Wine"
start_wine
# The tests' files go to a temporary folder whose name has spaces and letters outside ASCII.
start_temp

step "tests under Wine"
# ctest -V puts the test's number before each line of its output.
output() { sed -n 's/^[0-9]*: //p' "$1"; }
# The numbers and names of the tests a log says failed.
failed() { sed -n '/The following tests FAILED:/,$s/^[[:space:]]*\([0-9][0-9]*\) - \([^ ]*\) .*/\1 \2/p' "$1"; }
# What a log says of its failures. A test program that stopped part-way (a crash, an abort) reports no
# failure of its own: its last lines say where it was, and ctest's line its exit.
failures() {
  output "$1" | grep -E '^(FAIL!|   Loc:|   Actual|   Expected|[^ ]*\([0-9]*\) : failure location)' | head -60 || true
  failed "$1" | while read -r number name; do
    sed -n "s/^$number: //p" "$1" >"$work/stopped.log"
    grep -q '^Totals:' "$work/stopped.log" && continue
    echo "$name stopped part-way; its last lines:"
    tail -25 "$work/stopped.log" | sed 's/^/  /'
    grep -E "Test +#$number: " "$1" | sed 's/^ */  /'
  done
}
status=0
ctest --test-dir "$dir" --output-on-failure --timeout 600 -j2 -V >"$work/ctest.log" 2>&1 || status=$?
output "$work/ctest.log" | grep -E '^(SKIP|XFAIL|XPASS) ' | sed 's/^/  /' || true
output "$work/ctest.log" | awk '/^Totals:/ { p += $2; f += $4; s += $6 }
  END { printf "test functions under Wine: %d passed, %d failed, %d skipped\n", p, f, s }'
sed -n '/tests passed/,$p' "$work/ctest.log"
if [ "$status" -ne 0 ]; then
  failures "$work/ctest.log"
  # Wine now and then fails to start a program, or a program's child, on a busy machine; a test that
  # fails again on a second run fails the build.
  again=$(failed "$work/ctest.log" | awk '{ printf "%s^%s$", sep, $2; sep = "|" }')
  echo "running again under Wine: $again"
  status=0
  ctest --test-dir "$dir" --output-on-failure --timeout 600 -V -R "$again" >"$work/again.log" 2>&1 || status=$?
  sed -n '/tests passed/,$p' "$work/again.log"
  if [ "$status" -ne 0 ]; then
    failures "$work/again.log"
    echo "windows build: tests failed under Wine"
    exit 1
  fi
fi
wineserver -k 2>/dev/null || true

linux=build-windows/linux
step "building $linux (doctool)"
cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRINDLEWICK_ENGINE_ONLY=ON >/dev/null
cmake --build "$linux" --target doctool >/dev/null

step "checking the engine beside Linux's"
tools/check-windows-engine.sh "$linux/bin/doctool" "$dir/bin/doctool.exe"

step "checking the installer on a real window"
tools/check-windows-app.sh "${setups[0]}" "$linux/bin/doctool"

step "done"
ls -l "${setups[0]}" "${zips[0]}"
