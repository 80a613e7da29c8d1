#!/usr/bin/env bash
# The sanitizer pass: every test that needs no display and no package build
# (ctest -LE "gui|shots|package") built and run with AddressSanitizer + UBSan
# (build-asan/), and the tests of the threaded parts with ThreadSanitizer
# (build-tsan/). Only the targets those tests need are built.
#
#   scripts/sanitize.sh            both passes
#   scripts/sanitize.sh asan|tsan  one of them
# Extra ctest arguments can be given in ZEL_CTEST_ARGS (for example "-R cli").
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

passes=("$@")
[ ${#passes[@]} -eq 0 ] && passes=(asan tsan)

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"

skip='gui|shots|package'
for pass in "${passes[@]}"; do
  case "$pass" in
    asan) build=build-asan option=-DZEL_SANITIZE=ON select=() ;;
    # Threads live in the port layer (its worker, the TCP server), the
    # simulator's transports and what drives them: ThreadSanitizer runs those
    # tests (the others are single-threaded and already ran under ASan).
    tsan) build=build-tsan option=-DZEL_TSAN=ON
          select=(-R '^(port_table|serial_port|tcp_port|usb|protocol_line|protocol_sim|sim|cli|cli_fault_matrix)_test$') ;;
    *) echo "usage: $0 [asan|tsan]..." >&2; exit 2 ;;
  esac
  echo "== $pass: $build"
  # -O1 with line tables only: quicker to build, and the tests mostly wait on the line.
  # A folder configured before is kept: ninja configures again by itself when a
  # CMakeLists.txt changed.
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
      -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" "$option" >/dev/null
  fi
  # The programs the tests run: a test is named after its program, or after
  # it with a suffix (_blocks) when the program serves several ctest entries.
  targets=$(ninja -C "$build" -t targets all | sed 's/:.*//')
  programs=()
  for t in $(cd "$build" && ctest -N -LE "$skip" "${select[@]}" | sed -n 's/^ *Test *#[0-9]*: *//p'); do
    while ! grep -qx "$t" <<<"$targets" && [[ $t == *_* ]]; do t=${t%_*}; done
    # A test run by a script (the layer check) has no program to build.
    if grep -qx "$t" <<<"$targets"; then programs+=("$t"); fi
  done
  [ ${#programs[@]} -gt 0 ] || { echo "no tests found in $build" >&2; exit 1; }
  cmake --build "$build" -j2 --target "${programs[@]}"
  (cd "$build" && ctest --output-on-failure -j2 -LE "$skip" "${select[@]}" ${ZEL_CTEST_ARGS:-})
done
