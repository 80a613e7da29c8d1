#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest.
# Extra arguments go to ctest (for example: ./test.sh -L unit).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
build=${ZEL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${ZEL_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j2
cd "$build"
# The screenshot run (label "shots") is left out; run it with: ctest -L shots
ctest --output-on-failure -j2 -LE shots "$@"
