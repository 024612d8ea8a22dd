#!/usr/bin/env bash
# Builds Tarvex and runs every test: formatting, the Qt-free core build, unit, GUI and
# end-to-end tests (the end-to-end tests start their own private PulseAudio server), the
# Debian package, then one clang build with ASan and UBSan that serves both the fuzz targets
# (run for a bounded time) and the whole test suite again. Builds go through ccache
# (scripts/ccache.sh). Each stage prints its time, and the end a table of them all.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"
jobs="${JOBS:-$(nproc)}"
# Tests run two per core: most of their time is spent waiting on real-time audio and timers
# (a whole sanitizer run used 240 s of CPU in 407 s on two cores at two at a time). The tests
# that share the private sound server's sink hold a lock, and the load tests run alone.
test_jobs="${TEST_JOBS:-$((2 * $(nproc)))}"

stage_names=()
stage_times=()
run_start=$SECONDS
report() {
  local status=$?
  echo "== stage times"
  for i in "${!stage_names[@]}"; do
    printf '  %-44s %5s s\n' "${stage_names[$i]}" "${stage_times[$i]}"
  done
  printf '  %-44s %5s s\n' "whole run" "$((SECONDS - run_start))"
  [ "$status" -eq 0 ] || echo "test.sh: failed in stage: ${current_stage:-?}"
  if command -v ccache >/dev/null 2>&1 && [ -n "${CCACHE_DIR:-}" ]; then
    ccache --show-stats 2>/dev/null | grep -E '^(Cacheable calls|  Hits|  Misses)' || true
  fi
}
trap report EXIT
# stage NAME COMMAND...: runs one stage and records its time.
stage() {
  current_stage="$1"
  shift
  echo "== $current_stage"
  local start=$SECONDS
  "$@"
  stage_names+=("$current_stage")
  stage_times+=("$((SECONDS - start))")
  echo "($current_stage: $((SECONDS - start)) s)"
}

stage "packages" bash scripts/install-deps.sh
source scripts/ccache.sh
[ ${#tarvex_launcher[@]} -eq 0 ] || ccache --zero-stats >/dev/null

check_format() {
  local sources
  mapfile -t sources < <(git ls-files '*.cpp' '*.h')
  clang-format --dry-run --Werror "${sources[@]}"
}
stage "formatting" check_format

build_core() {
  cmake -S . -B build-core -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVEX_WITH_QT=OFF \
        -DTARVEX_BUILD_GUI=OFF -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF \
        "${tarvex_launcher[@]}" >/dev/null
  cmake --build build-core -j "$jobs"
}
stage "core libraries without Qt" build_core
stage "build" bash scripts/build.sh
stage "tests" ctest --test-dir build --output-on-failure -j "$test_jobs" --timeout 600

check_package() {
  if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W -f='${Status}' tarvex 2>/dev/null | grep -q "ok installed"; then
    bash tests/package/check_deb.sh build --install
  else
    echo "(not root, or a tarvex package is installed: checked unpacked only, by ctest)"
  fi
}
stage "Debian package: install with dpkg -i, run, remove" check_package

# One build for the fuzz targets and the sanitizer run of the whole suite: clang with ASan,
# UBSan and libFuzzer's coverage hooks (scripts/sanitize-build.sh).
stage "sanitizer and fuzz build (clang, ASan + UBSan)" bash scripts/sanitize-build.sh
stage "fuzz targets: ${FUZZ_SECONDS:-30} s each, two at a time" \
  bash scripts/fuzz.sh --build build-asan --time "${FUZZ_SECONDS:-30}" --jobs 2

# Each test runs once (the Valgrind cases are left out, see the script).
stage "tests with sanitizers" bash scripts/sanitize-test.sh -j "$test_jobs" --timeout 900
