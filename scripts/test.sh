#!/usr/bin/env bash
# The project's test command: installs what is missing, checks the layering
# and that the system code still compiles against the Windows SDK headers,
# builds and runs every test in the debug build, then again under
# AddressSanitizer with UndefinedBehaviorSanitizer, and under
# ThreadSanitizer (the platform layer's threads, queues and locks), and
# finally builds the libFuzzer targets (clang) and runs each a few seconds
# on its seeds, so that no fuzzer rots unnoticed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
bash scripts/check-layers.sh
bash scripts/check-windows.sh

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

# The fuzz preset builds only the fuzzers (and what they link), not the
# programs and tests again.  Each runs briefly from its seed folder
# (<module>/fuzz/corpus/<name>, when there is one); new inputs go to a
# scratch folder, never into the source tree.
echo "== fuzz: configure and build the fuzzers"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs" --target novarc_fuzzers
echo "== fuzz: smoke runs"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for fuzzer in build/fuzz/bin/fuzz_*; do
  name=$(basename "$fuzzer")
  seeds=$(find . -path ./build -prune -o -type d -path "*/fuzz/corpus/$name" -print | head -1)
  mkdir -p "$scratch/$name"
  "$fuzzer" -max_total_time=5 -print_final_stats=0 "$scratch/$name" ${seeds:+"$seeds"} \
    >"$scratch/$name.log" 2>&1 || { tail -40 "$scratch/$name.log"; echo "fuzz: $name failed"; exit 1; }
  echo "fuzz: $name $(grep -Eo 'Done [0-9]+ runs' "$scratch/$name.log" | tail -1)"
done
