#!/usr/bin/env bash
# Builds and starts Brindlewick Paperwork Studio.
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target brindlewick
exec build/bin/brindlewick "$@"
