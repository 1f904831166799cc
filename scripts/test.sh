#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: in the normal build and under
# AddressSanitizer + UndefinedBehaviorSanitizer. Installs what is missing first.
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
