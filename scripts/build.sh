#!/usr/bin/env bash
# Configures and builds Tarvex into build/ (programs land in build/bin/), through ccache when
# it is installed (scripts/ccache.sh).
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"
source scripts/ccache.sh
jobs="${JOBS:-$(nproc)}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
      "${tarvex_launcher[@]}" "$@"
cmake --build build -j "$jobs"
