#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset `fuzz`) and runs each one for a bounded time.
#   scripts/fuzz.sh [seconds per target, default 60]
#   WRENLY_FUZZ_RUNS=N WRENLY_FUZZ_SEED=S scripts/fuzz.sh   a fixed number of inputs from a fixed
#   seed instead: the same inputs on every run, as CI wants
# Findings are written to build/fuzz/findings/; the script fails when a target finds a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
targets=(streaming/fuzz_stream_message service/fuzz_service_replies platform/fuzz_settings_file
         platform/fuzz_history_file)

cmake --preset fuzz
cmake --build --preset fuzz -j "${WRENLY_JOBS:-2}"

mkdir -p build/fuzz/findings
for target in "${targets[@]}"; do
  name="${target##*/}"
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  cp -n "fuzz/${target%/*}/corpus/"* "$corpus/" 2>/dev/null || true
  if [[ -n "${WRENLY_FUZZ_RUNS:-}" ]]; then
    # A fresh corpus each time, so the fixed seed always explores the same inputs.
    corpus="build/fuzz/corpus-fixed/$name"
    rm -rf "$corpus" && mkdir -p "$corpus"
    cp "fuzz/${target%/*}/corpus/"* "$corpus/" 2>/dev/null || true
    limit=(-runs="$WRENLY_FUZZ_RUNS" -seed="${WRENLY_FUZZ_SEED:-1}")
    echo "fuzz: running $name for $WRENLY_FUZZ_RUNS inputs"
  else
    limit=(-max_total_time="$seconds")
    echo "fuzz: running $name for ${seconds}s"
  fi
  "build/fuzz/fuzz/$target" "${limit[@]}" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/findings/$name-" "$corpus"
done
