#!/usr/bin/env bash
# The project's test command: installs what is missing, checks the layering,
# builds and runs every test in the debug build, then again under
# AddressSanitizer with UndefinedBehaviorSanitizer, and under
# ThreadSanitizer (the platform layer's threads, queues and locks).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
bash scripts/check-layers.sh

jobs=$(nproc)

run_preset() {
  local preset=$1
  echo "== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "== ${preset}: tests"
  ctest --preset "$preset" -j"$jobs"
}

run_preset debug
run_preset asan
run_preset tsan
