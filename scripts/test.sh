#!/usr/bin/env bash
# Installs what the tests need, builds the default preset, runs every test (unit, contract and
# real-component), runs them again built with ThreadSanitizer (only the test programs are built
# for it), then runs each fuzz target over a fixed, seeded set of inputs (the same on every run,
# so a finding is never a matter of luck).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
cmake --preset default
cmake --build --preset default -j "$(nproc)"
ctest --preset default -j "$(nproc)" "$@"
cmake --preset tsan
cmake --build --preset tsan -j "$(nproc)" --target wrenly_test_programs
ctest --preset tsan -j "$(nproc)" "$@"
WRENLY_FUZZ_RUNS="${WRENLY_FUZZ_RUNS:-1000000}" WRENLY_FUZZ_SEED="${WRENLY_FUZZ_SEED:-1}" scripts/fuzz.sh
