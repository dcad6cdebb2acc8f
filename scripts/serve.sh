#!/usr/bin/env bash
# Builds Ferrolift and serves the sample site on http://127.0.0.1:8080/ (extra arguments
# go to `ferrolift serve`).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
exec build/default/bin/ferrolift serve "$@"
