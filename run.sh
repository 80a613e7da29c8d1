#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool.
# Until the desktop window exists this starts the command-line front end in demo
# mode in a working folder of its own (demo-run/), created once and kept.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
mkdir -p demo-run
[ -f demo-run/demo_trk.bin ] || cp build/data/demo_trk.bin demo-run/
[ -f demo-run/don.msg ] || cp data/don.msg demo-run/
cd demo-run
if [ $# -eq 0 ]; then set -- identify; fi
exec ../build/cli/startzel-cli --demo "$@"
