#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each from the seed corpus in fuzz/corpus for a bounded time (FUZZ_SECONDS, default 60).
# New inputs go to a scratch folder, not into the repository. Fails on the first crash, leak or
# sanitizer report; the input that caused it is left in build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(clang libclang-rt-14-dev)
bash scripts/install-deps.sh "${packages[@]}"

seconds="${FUZZ_SECONDS:-60}"
build=build-fuzz
CC=clang CXX=clang++ cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 >/dev/null
mkdir -p "$build/crashes"
# Leaks count: the targets never attach a database, so every allocation is the project's own.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for target in parametri ini percorsi opener; do
  work="$build/corpus-$target"
  rm -rf "$work"
  mkdir -p "$work"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$build/fuzz_$target" "$work" "fuzz/corpus/$target" -max_total_time="$seconds" \
      -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/crashes/$target-" 2>"$build/fuzz_$target.log"; then
    tail -n 60 "$build/fuzz_$target.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::new_units_added" "$build/fuzz_$target.log" || true
  fi
done
exit $status
