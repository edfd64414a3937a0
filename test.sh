#!/usr/bin/env bash
# Builds and runs every test.
#   ./test.sh             tests in build/
#   ./test.sh --sanitize  the same under AddressSanitizer and UndefinedBehaviorSanitizer, in build-sanitize/
# Without --sanitize it then checks the Debian package (tools/check-package.sh) when lintian,
# desktop-file-validate and appstreamcli are installed, and prints through a CUPS queue of its
# own (tools/check-print-queue.sh) when run as root.
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh test
tools/check-format.sh
dir=build
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLEWICK_TESTS=ON)
if [ "${1:-}" = --sanitize ]; then
  dir=build-sanitize
  opts=(-DCMAKE_BUILD_TYPE=Debug -DBRINDLEWICK_TESTS=ON -DBRINDLEWICK_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++)
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
[ "${CI:-}" = true ] && opts+=(-DBRINDLEWICK_WERROR=ON)
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j2
if [ "$dir" = build ]; then
  tools/check-package.sh || [ $? -eq 77 ]
  tools/check-print-queue.sh "$dir" || [ $? -eq 77 ]
fi
