#!/usr/bin/env bash
# Fuzzes every target of fuzz/ for SECONDS each (default 60) with libFuzzer,
# AddressSanitizer and UBSan, in build-fuzz/ (clang). Prints the executions
# each target reached; exits non-zero when a target failed.
#
#   scripts/fuzz.sh [SECONDS]
#   ZEL_FUZZ_TARGETS="fuzz_line fuzz_com_ini" scripts/fuzz.sh 600   only these
#   ZEL_FUZZ_RUNS=10000000 scripts/fuzz.sh 86400                   stop at that many executions
#
# The corpus grows in build-fuzz/corpus/<target>/ (seeded from fuzz/corpus/);
# a failing input is written to build-fuzz/crashes/<target>/. Once its fault
# is mended, copy the input into fuzz/regressions/<target>/, where ./test.sh
# replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }

./scripts/install-deps.sh --fuzz
build=${ZEL_FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target zel_fuzzers

read -r -a targets <<< "${ZEL_FUZZ_TARGETS:-$(tr '\n' ' ' < "$build/fuzz/targets.txt")}"
# A smaller quarantine than AddressSanitizer's default 256 MB: the targets
# allocate whole images per input, and the default makes them several times slower.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16}"
# Targets that write files (com.ini, demo_trk.bin) run in a folder in memory when there is one.
scratch="$build/fuzz-run"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  scratch=$(mktemp -d /dev/shm/zel-fuzz.XXXXXX)
  trap 'rm -rf "$scratch"' EXIT
fi
failed=0
printf '%-20s %14s %8s  %s\n' target executions exec/s result
for t in "${targets[@]}"; do
  corpus="$PWD/$build/corpus/$t" crashes="$PWD/$build/crashes/$t" work="$scratch/$t"
  mkdir -p "$corpus" "$crashes" "$work" "$build/fuzz-run"
  log="$build/fuzz-run/$t.log"
  runs=()
  [ -n "${ZEL_FUZZ_RUNS:-}" ] && runs=(-runs="$ZEL_FUZZ_RUNS")
  set +e
  (cd "$work" && "$OLDPWD/$build/fuzz/$t" -max_total_time="$seconds" "${runs[@]}" -print_final_stats=1 \
      -artifact_prefix="$crashes/" -max_len=4096 "$corpus" "$OLDPWD/fuzz/corpus/$t") > "$log" 2>&1
  rc=$?
  set -e
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  if [ $rc -eq 0 ]; then result=ok; else result="FAILED (see $log)"; failed=1; fi
  printf '%-20s %14s %8s  %s\n' "$t" "$execs" "$rate" "$result"
done
exit $failed
