#!/usr/bin/env bash
# CI step of the benchmark: a small run of bench/run.sh (2,000 orders, one run per program and
# mode, about a minute) that fails when the program's and the baseline's destinations differ or a
# run fails. The figures of such a small run are not meaningful and are not checked.
set -euo pipefail
cd "$(dirname "$0")/.."
BENCH_DIR="${BENCH_DIR:-build-bench-ci}" bash bench/run.sh 2000 1
