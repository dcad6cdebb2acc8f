#!/usr/bin/env bash
# Builds and runs every test. Usage: scripts/test.sh [preset]   (default, asan or tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
scripts/deps.sh --browser
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
if [[ "$preset" == tsan ]]; then
  export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp ${TSAN_OPTIONS:-}"
fi
ctest --preset "$preset"
