#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: in the normal build and under
# AddressSanitizer + UndefinedBehaviorSanitizer; then the concurrency test under
# ThreadSanitizer and every fuzz target for a short while. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

for preset in default asan; do
  echo "== $preset build =="
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  echo "== $preset tests =="
  ctest --preset "$preset"
done

echo "== tsan build (the concurrency test only) =="
cmake --preset tsan
cmake --build --preset tsan
echo "== tsan tests =="
ctest --preset tsan

echo "== fuzz targets, 10 s each =="
bash scripts/fuzz.sh 10
