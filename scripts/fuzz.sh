#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds-per-target]
# (scripts/fuzz-campaign.sh runs long campaigns on both cores.)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
shopt -s nullglob
status=0
for target in build/fuzz/bin/fuzz_*; do
  name=$(basename "$target")
  corpus=fuzz/corpus/${name#fuzz_}
  mkdir -p "build/fuzz/corpus/$name"
  args=("build/fuzz/corpus/$name")
  [[ -d "$corpus" ]] && args+=("$corpus")
  echo "fuzz: $name for ${seconds}s"
  mkdir -p build/fuzz/artifacts
  if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
      -artifact_prefix="build/fuzz/artifacts/${name#fuzz_}-" "${args[@]}" 2>"build/fuzz/$name.log"; then
    tail -n 40 "build/fuzz/$name.log"
    status=1
  fi
done
exit $status
