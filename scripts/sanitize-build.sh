#!/usr/bin/env bash
# Configures and builds build-asan/: every target, the tests and the libFuzzer targets, built
# by clang with ASan and UBSan and libFuzzer's coverage hooks, through ccache when installed.
# One build serves the sanitizer run of the test suite (ctest --test-dir build-asan) and the
# fuzz targets (scripts/fuzz.sh --build build-asan).
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"
source scripts/ccache.sh
jobs="${JOBS:-$(nproc)}"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DTARVEX_SANITIZE=address,undefined -DTARVEX_BUILD_FUZZ=ON -DTARVEX_BUILD_BENCH=OFF \
      "${tarvex_launcher[@]}" "$@" >/dev/null
cmake --build build-asan -j "$jobs"
