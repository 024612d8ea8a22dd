#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz, clang++ with ASan and UBSan) into build-fuzz/ and
# runs each one, from its seed corpus, for a number of inputs (by hand) or seconds (CI).
#
#   scripts/fuzz.sh                      10,000,000 inputs per target, one target at a time
#   scripts/fuzz.sh --runs 1000000       another count
#   scripts/fuzz.sh --time 30 --jobs 2   30 seconds per target, two targets at once (CI)
#   scripts/fuzz.sh fuzz_auto_send ...   only the targets named
#   scripts/fuzz.sh --fast ...           UBSan without ASan (build-fuzz/fast): several times
#                                        the inputs per second, for long runs by hand
#   scripts/fuzz.sh --build build-asan   the targets of a build made by
#                                        scripts/sanitize-build.sh (the test command's)
#
# New inputs go to <build>/corpus/<target>, failing inputs to <build>/artifacts/<target>,
# each run's output to <build>/logs/<target>.log (build-fuzz/ unless --build names another).
# The table at the end gives inputs run, inputs per second and seconds per target; the exit
# status is 1 if any target failed.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"

runs=10000000
seconds=""
jobs=1
fast=0
given_build=""
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --time) seconds="$2"; shift 2 ;;
    --jobs) jobs="$2"; shift 2 ;;
    --fast) fast=1; shift ;;
    --build) given_build="$2"; shift 2 ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
for n in "$runs" "$jobs" ${seconds:+"$seconds"}; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz.sh: '$n' is not a positive count" >&2; exit 2; }
done

build="$top/build-fuzz"
bin="$build/bin"
sanitize=()
if [ "$fast" -eq 1 ]; then
  bin="$build/fast/bin"
  sanitize=(-DTARVEX_SANITIZE=undefined)
fi
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
fi

if [ -n "$given_build" ]; then
  build="$(cd "$given_build" && pwd)"
  bin="$build/bin"
  grep -q '^TARVEX_BUILD_FUZZ:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null ||
    { echo "fuzz.sh: $given_build is not a build with TARVEX_BUILD_FUZZ=ON" >&2; exit 2; }
else
  source scripts/ccache.sh
  cmake -S . -B "$(dirname "$bin")" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ "${sanitize[@]}" \
        -DTARVEX_BUILD_FUZZ=ON -DTARVEX_WITH_QT=OFF -DTARVEX_BUILD_GUI=OFF \
        -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF "${tarvex_launcher[@]}" >/dev/null
fi
cmake --build "$(dirname "$bin")" -j "${JOBS:-$jobs}" --target "${targets[@]}"

export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
limit=(-runs="$runs")
[ -n "$seconds" ] && limit=(-max_total_time="$seconds")

run_target() {
  local t="$1" corpus="$build/corpus/$1" artifacts="$build/artifacts/$1/"
  mkdir -p "$corpus" "$artifacts" "$build/logs"
  local start=$SECONDS status=0
  "$bin/$t" "${limit[@]}" -timeout=60 -print_final_stats=1 -artifact_prefix="$artifacts" \
      "$corpus" "$top/tests/fuzz/corpus/$t" >"$build/logs/$t.log" 2>&1 || status=$?
  echo "$status $((SECONDS - start))" >"$build/logs/$t.result"
}

rm -f "$build"/logs/*.result
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "fuzzing $t (${limit[0]#-})"
  run_target "$t" &
  running=$((running + 1))
done
wait || true

failed=0
printf '%-26s %12s %10s %8s  %s\n' target inputs inputs/s seconds result
for t in "${targets[@]}"; do
  log="$build/logs/$t.log"
  read -r status took <"$build/logs/$t.result"
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  result=ok
  if [ "$status" -eq 72 ]; then # libFuzzer's exit code after an interrupt (SIGINT)
    result="interrupted"
    failed=1
  elif [ "$status" -ne 0 ]; then
    result="FAILED (exit $status), see $log"
    failed=1
  fi
  printf '%-26s %12s %10s %8s  %s\n' "$t" "${done_runs:-?}" "${rate:-?}" "$took" "$result"
done
if [ "$failed" -ne 0 ]; then
  for t in "${targets[@]}"; do
    grep -h -m3 -E 'property does not hold|runtime error|ERROR: (AddressSanitizer|libFuzzer)' \
      "$build/logs/$t.log" | sed "s/^/$t: /" || true
  done
  ls "$build"/artifacts/*/crash-* "$build"/artifacts/*/timeout-* "$build"/artifacts/*/oom-* \
     2>/dev/null || true
fi
exit "$failed"
