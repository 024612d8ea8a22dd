#!/usr/bin/env bash
# Runs tests of build-asan/ (scripts/sanitize-build.sh) with the sanitizers' options: leaks
# checked (third-party suppressions in tests/sanitizers/lsan.supp), UBSan with stack traces.
# The Valgrind cases are left out: Valgrind cannot run a program built with ASan.
#   scripts/sanitize-test.sh [CTEST ARGS...]     e.g. -L network -j2
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$top/tests/sanitizers/lsan.supp:print_suppressions=0}"
exec ctest --test-dir "$top/build-asan" --output-on-failure -LE valgrind "$@"
