#!/usr/bin/env bash
# Browser test of the sample site in headless Chromium (playwright-core from npm).
# Usage: browser_test.sh FERROLIFT_BINARY SOURCE_DIR ARTIFACT_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
artifacts=${3:-$here/artifacts}
if [[ ! -x /usr/bin/chromium ]] || ! command -v node >/dev/null; then
  echo "SKIP: the browser test needs /usr/bin/chromium and node (scripts/deps.sh --browser installs them)"
  exit 77
fi
if [[ ! -d "$here/node_modules/playwright-core" ]]; then
  (cd "$here" && npm install --no-audit --no-fund --loglevel=error) || { echo "npm install of playwright-core failed"; exit 1; }
fi
source "$here/lib.sh" "$1" "$2"
mkdir -p "$artifacts"
start_server --threads 16
skip_unless_component_ready
make_file "$WORK/holiday-photos.bin" 4000000
make_file "$WORK/notes.dat" 1500000
node "$here/upload_test.mjs" "$BASE" "$artifacts" "$WORK/holiday-photos.bin" "$WORK/notes.dat"
status=$?
stop_server
exit $status
