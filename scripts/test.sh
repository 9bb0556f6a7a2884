#!/usr/bin/env bash
# Installs what the tests need, builds the default preset, runs every test (unit, contract,
# real-component and end-to-end), builds the Debian package, runs the tests again built with
# ThreadSanitizer (all but the end-to-end runs), then runs each fuzz target over a
# fixed, seeded set of inputs (the same on every run, so a finding is never a matter of luck).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
cmake --preset default
cmake --build --preset default -j "$(nproc)"
ctest --preset default -j "$(nproc)" "$@"
# The Debian package builds, and its declared dependencies resolve on this system.
(cd build/default && cpack -G DEB)
apt-get install -s ./build/default/wrenly_*.deb > /dev/null
cmake --preset tsan
cmake --build --preset tsan -j "$(nproc)"
# The end-to-end runs drive uninstrumented toolkits (Qt, GTK) and take minutes; they run above.
ctest --preset tsan -j "$(nproc)" -LE e2e "$@"
WRENLY_FUZZ_RUNS="${WRENLY_FUZZ_RUNS:-1000000}" WRENLY_FUZZ_SEED="${WRENLY_FUZZ_SEED:-1}" scripts/fuzz.sh
