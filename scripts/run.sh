#!/usr/bin/env bash
# Installs the build packages, builds, and runs what the project runs today: the text tool over
# a sample transcript (or over standard input when one is piped in).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default -DWRENLY_BUILD_TESTS=OFF
cmake --build --preset default -j "$(nproc)" --target wrenly-text
tool=build/default/tools/wrenly-text/wrenly-text
if [ -t 0 ]; then
  echo "我有三点：第一点买菜，第二点煮饭，第三点洗碗。" | "$tool" "$@"
else
  "$tool" "$@"
fi
