#!/usr/bin/env bash
# Installs what is missing, builds, and starts the desktop program in demo mode.
# The demo works in its own folder, demo-run/, created once and kept: values
# written in demo mode survive the next start.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only the three programs and their data files: the demo comes up in a minute
# or so; ./test.sh builds (and runs) everything else.
cmake --build build -j2 --target startzel startzel-cli startzel-sim zel_data
mkdir -p demo-run
[ -f demo-run/demo_trk.bin ] || cp build/data/demo_trk.bin demo-run/
[ -f demo-run/don.msg ] || cp build/data/don.msg demo-run/
# The demo needs no line: the stub port swallows everything.
[ -f demo-run/com.ini ] || printf 'STUB 0 4800 0 1 0 8 N 1' > demo-run/com.ini
cd demo-run
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  # The program first asks for the controller number: any number will do.
  exec ../build/app/startzel /I
fi
cat <<'TEXT'
There is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the desktop
program cannot open its window. On a desktop, ./run.sh opens it in demo mode.

Meanwhile, the command-line tool on the same demo image; the parameter block:
TEXT
../build/cli/startzel-cli --demo read 3100
cat <<'TEXT'

And a virtual controller on a pseudo-terminal, identified through it:
TEXT
../build/sim/startzel-sim --addr 1 --type 22 > sim.port 2>/dev/null &
sim=$!
trap 'kill $sim 2>/dev/null' EXIT
for _ in $(seq 50); do [ -s sim.port ] && break; sleep 0.1; done
port=$(head -n1 sim.port)
../build/cli/startzel-cli --port "$port" identify
../build/cli/startzel-cli --port "$port" ident-text
