#!/usr/bin/env bash
# Builds and runs every test. Usage: scripts/test.sh [preset]   (default, asan, tsan or
# windows: ferrolift.dll cross-built with MinGW-w64 and tested under Wine)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
if [[ "$preset" == default ]]; then
  scripts/deps.sh --browser --deploy   # the deployment tests run in this build only
elif [[ "$preset" == windows ]]; then
  scripts/deps.sh --windows
else
  scripts/deps.sh --browser
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
if [[ "$preset" == tsan ]]; then
  export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp ${TSAN_OPTIONS:-}"
fi
ctest --preset "$preset"
