#!/usr/bin/env bash
# Sets up a machine, builds and runs every test. With --sanitize it does the same in a separate
# build with AddressSanitizer and UndefinedBehaviorSanitizer. Warnings are errors here, as in CI.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=build
flags=(-DVESSENTARIA_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags+=(-DVESSENTARIA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  # The embedded engine is not built with the sanitizers; its own allocations are not ours.
  export ASAN_OPTIONS="detect_leaks=0:abort_on_error=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j 2 --timeout 900
