#!/usr/bin/env bash
# CI step of the benchmark: a small run of bench/run.sh (2,000 orders, one run per program and
# mode, and the floor; about a minute), a check of the delaying relay, and one short wide-area run
# (100 orders with the destination behind the relay, about half a minute) and every length of a
# partial block of rows behind the private server. Fails when the
# program's, the baseline's and the floor's destinations differ, a run fails or the relay does
# not behave. The figures of such small runs are not meaningful and are not checked.
set -euo pipefail
cd "$(dirname "$0")/.."
export BENCH_DIR="${BENCH_DIR:-build-bench-ci}"
BENCH_MODES="vuota piena senzablob server pavimento" bash bench/run.sh 2000 1
bash scripts/install-deps.sh python3
bash bench/relay-check.sh "$BENCH_DIR/build/bench_relay"
BENCH_MODES="wan lunghezze-server" BENCH_SKIP_BUILD=1 bash bench/run.sh 100 1
