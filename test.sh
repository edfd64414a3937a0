#!/usr/bin/env bash
# Builds and runs every test.
#   ./test.sh             tests in build/, then the Debian package made from build/
#   ./test.sh --sanitize  the same under AddressSanitizer and UndefinedBehaviorSanitizer, in build-sanitize/,
#                         without the tests that start other programs' readers (CTest label `external`)
# Without --sanitize it then checks the Debian package (tools/check-package.sh) when lintian,
# desktop-file-validate and appstreamcli are installed, and prints through a CUPS queue of its
# own (tools/check-print-queue.sh) when run as root. Each stage's time follows it.
set -euo pipefail
cd "$(dirname "$0")"
start=$SECONDS
stage_start=$SECONDS
stage() {
  echo "== test.sh: $1 took $((SECONDS - stage_start)) s (total $((SECONDS - start)) s)"
  stage_start=$SECONDS
}
tools/deps.sh test
tools/check-format.sh
stage "packages and formatting"
dir=build
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLEWICK_TESTS=ON)
ctest_opts=()
if [ "${1:-}" = --sanitize ]; then
  dir=build-sanitize
  opts=(-DCMAKE_BUILD_TYPE=Debug -DBRINDLEWICK_TESTS=ON -DBRINDLEWICK_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++)
  ctest_opts=(-LE external)
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
[ "${CI:-}" = true ] && opts+=(-DBRINDLEWICK_WERROR=ON)
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir"
stage "building $dir"
ctest --test-dir "$dir" --output-on-failure -j2 "${ctest_opts[@]}"
stage "tests"
if [ "$dir" = build ]; then
  tools/check-package.sh "$dir" || [ $? -eq 77 ]
  stage "package"
  tools/check-print-queue.sh "$dir" || [ $? -eq 77 ]
  stage "print queue"
fi
