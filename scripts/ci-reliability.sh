#!/usr/bin/env bash
# The reliability checks beyond the test suite (whose reliability tests run in scripts/test.sh):
# the fuzz targets for a bounded time each, and the demo under valgrind's memcheck.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
bash scripts/ci-fuzz.sh || status=1
bash scripts/ci-valgrind.sh || status=1
exit $status
