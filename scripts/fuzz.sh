#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer + UBSan; fuzz/) and runs each
# for a bounded time, starting from its committed seeds in fuzz/corpus/<target>.
#   bash scripts/fuzz.sh            20 s per target (scripts/test.sh runs 10)
#   bash scripts/fuzz.sh 600        ten minutes per target
#   bash scripts/fuzz.sh 600 host   one target
# New inputs go to build/fuzz/corpus/<target> (kept between runs, never committed); a
# finding stops its target, leaves its input in build/fuzz/artifacts/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-20}"
shift || true

OM_NO_BROWSER=1 bash scripts/deps.sh
CC=clang CXX=clang++ cmake -S fuzz -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j2

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

mkdir -p build/fuzz/artifacts
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=()
for target in "${targets[@]}"; do
  work="build/fuzz/corpus/$target"
  mkdir -p "$work"
  echo "== fuzz $target: ${seconds} s =="
  if ! build/fuzz/fuzz_"$target" "$work" "fuzz/corpus/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=2048 -len_control=0 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$target-" 2>build/fuzz/"$target".log; then
    tail -n 60 build/fuzz/"$target".log
    failed+=("$target")
  else
    grep -E "^stat::number_of_executed_units|^stat::new_units_added|cov:" build/fuzz/"$target".log | tail -n 3
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz findings in: ${failed[*]} (inputs in build/fuzz/artifacts/)"
  exit 1
fi
echo "fuzz: no findings in ${targets[*]}"
