#!/usr/bin/env bash
# Installs what the tests need, builds the default preset, runs every test (unit, contract and
# real-component), then runs each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
cmake --preset default
cmake --build --preset default -j "$(nproc)"
ctest --preset default -j "$(nproc)" "$@"
scripts/fuzz.sh "${WRENLY_FUZZ_SECONDS:-30}"
