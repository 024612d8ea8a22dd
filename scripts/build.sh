#!/usr/bin/env bash
# Configures and builds Tarvex into build/ (programs land in build/bin/).
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"
jobs="${JOBS:-$(nproc)}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build build -j "$jobs"
