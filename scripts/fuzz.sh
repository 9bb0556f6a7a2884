#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset `fuzz`) and runs each one for a bounded time.
#   scripts/fuzz.sh [seconds per target, default 60]
# Findings are written to build/fuzz/findings/; the script fails when a target finds a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
targets=(streaming/fuzz_stream_message)

cmake --preset fuzz
cmake --build --preset fuzz --target "${targets[@]##*/}" -j "${WRENLY_JOBS:-2}"

mkdir -p build/fuzz/findings
for target in "${targets[@]}"; do
  name="${target##*/}"
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  cp -n "fuzz/${target%/*}/corpus/"* "$corpus/" 2>/dev/null || true
  echo "fuzz: running $name for ${seconds}s"
  "build/fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/findings/$name-" "$corpus"
done
