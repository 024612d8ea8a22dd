#!/usr/bin/env bash
# Builds Tarvex and runs every test: formatting, the Qt-free core build, unit, GUI and
# end-to-end tests (the end-to-end tests start their own private PulseAudio server).
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"
bash scripts/install-deps.sh
jobs="${JOBS:-$(nproc)}"

echo "== formatting"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"

echo "== core libraries without Qt"
cmake -S . -B build-core -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVEX_WITH_QT=OFF \
      -DTARVEX_BUILD_GUI=OFF -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF >/dev/null
cmake --build build-core -j "$jobs"

echo "== build"
bash scripts/build.sh

echo "== tests"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

echo "== Debian package: install with dpkg -i, run, remove"
if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W -f='${Status}' tarvex 2>/dev/null | grep -q "ok installed"; then
  bash tests/package/check_deb.sh build --install
else
  echo "(not root, or a tarvex package is installed: checked unpacked only, by ctest)"
fi

echo "== fuzz targets: libFuzzer with ASan and UBSan, ${FUZZ_SECONDS:-30} s each, two at a time"
fuzz_start=$SECONDS
bash scripts/fuzz.sh --time "${FUZZ_SECONDS:-30}" --jobs 2
echo "(fuzz step: $((SECONDS - fuzz_start)) s)"

echo "== sanitizers: the whole test suite built with ASan and UBSan (GCC)"
# Each test runs once. The Valgrind cases are left out: Valgrind cannot run a program built
# with ASan.
asan_start=$SECONDS
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ \
      -DTARVEX_SANITIZE=address,undefined -DTARVEX_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$top/tests/sanitizers/lsan.supp:print_suppressions=0" \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900 -LE valgrind
echo "(sanitizer step: $((SECONDS - asan_start)) s)"
