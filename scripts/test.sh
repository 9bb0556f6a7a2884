#!/usr/bin/env bash
# The whole test command (CI runs it, .ci/run):
#   1. installs what the tests need;
#   2. builds everything with the default preset and runs every test (unit, contract,
#      real-component and end-to-end) but the stress cases (label stress, run by hand);
#   3. builds the Debian package and checks that its dependencies resolve;
#   4. builds only the test programs again with ThreadSanitizer and runs them, all but the runs
#      that drive Qt or GTK windows (label gui) and the end-to-end ones: their toolkits are not
#      instrumented and they take minutes;
#   5. runs each fuzz target over a fixed, seeded set of inputs (the same on every run, so a
#      finding is never a matter of luck).
# Arguments go to both ctest runs (e.g. -L unit).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
step() { printf '\n== %s (%s)\n' "$1" "$(date +%T)"; }

step "dependencies"
scripts/install-deps.sh --test

step "default build"
cmake --preset default
cmake --build --preset default -j "$jobs"
step "tests"
ctest --preset default -j "$jobs" -LE stress "$@"

step "package"
(cd build/default && cpack -G DEB)
apt-get install -s ./build/default/wrenly_*.deb >/dev/null

step "ThreadSanitizer"
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs" "$@"

step "fuzzing"
WRENLY_FUZZ_RUNS="${WRENLY_FUZZ_RUNS:-1000000}" WRENLY_FUZZ_SEED="${WRENLY_FUZZ_SEED:-1}" scripts/fuzz.sh
step "done"
