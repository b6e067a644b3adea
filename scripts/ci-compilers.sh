#!/usr/bin/env bash
# The builds that users and packagers make, with warnings as errors so that a new warning of
# either compiler is caught: Release with g++ (-O3 inlines deeper and warns of its own) in
# build-release, and clang in build-clang. The program and the tests are built, not run: they run
# in scripts/test.sh. scripts/ci-package.sh then packages build-release.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang
echo "== Release build with g++, warnings as errors"
CXX=g++ cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DVESSENTARIA_WERROR=ON >/dev/null
cmake --build build-release -j "$(nproc)" >/dev/null
echo "== clang build, warnings as errors"
CXX=clang++ cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=Release -DVESSENTARIA_WERROR=ON >/dev/null
cmake --build build-clang -j "$(nproc)" >/dev/null
