#!/usr/bin/env bash
# A fuzzing campaign outside CI: every libFuzzer target (or the ones named) runs for a
# number of executions or a time, whichever ends first, two targets at a time by
# default, at low priority; then a table of executions and speed per target.
#
# Usage: scripts/fuzz-campaign.sh [options] [target...]
#   --runs N        executions per target (default 10000000)
#   --seconds S     time limit per target (default 1800, or with --until a fair share
#                   of the time left: targets that reach their runs early leave
#                   their time to the ones after them)
#   --until HH:MM   stop every target at this UTC time at the latest
#   --jobs J        targets run at once (default 2)
#   --max-len N     longest input libFuzzer makes (default: its own, up to 4096); a
#                   shorter one buys executions where the parser's logic fits in it
#   --no-build      use the binaries already in build/fuzz/bin
# Targets are named without the fuzz_ prefix (Multipart, ValueCollection...).
# Corpora grow in build/fuzz/corpus/<target>; crashes land in build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=10000000
seconds=""
until_time=""
jobs=2
max_len=""
build=1
targets=()
while (($#)); do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --until) until_time=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --max-len) max_len=$2; shift 2 ;;
    --no-build) build=0; shift ;;
    -h|--help) sed -n '2,/^set /{/^set /d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    -*) echo "fuzz-campaign: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done

if ((build)); then
  cmake --preset fuzz >/dev/null
  nice -n 15 cmake --build --preset fuzz
fi
if ((${#targets[@]} == 0)); then
  for binary in build/fuzz/bin/fuzz_*; do
    targets+=("$(basename "$binary" | sed 's/^fuzz_//')")
  done
fi
deadline=""
[[ -n "$until_time" ]] && deadline=$(date -u -d "$until_time" +%s)
[[ -z "$seconds" && -z "$deadline" ]] && seconds=1800

logs=build/fuzz/campaign
mkdir -p "$logs" build/fuzz/artifacts

# Runs one target ($2 targets are still waiting, this one included); its log ends
# with libFuzzer's final statistics.
run_target() {
  local name=$1 waiting=$2 limit=$seconds
  if [[ -n "$deadline" ]]; then
    local left=$((deadline - $(date -u +%s)))
    local share=$((left * jobs / waiting))
    ((share > left)) && share=$left
    if [[ -z "$limit" ]] || ((share < limit)); then limit=$share; fi
  fi
  if ((limit <= 0)); then
    echo "skipped: past the deadline" >"$logs/$name.log"
    return 0
  fi
  local corpus=build/fuzz/corpus/fuzz_$name
  mkdir -p "$corpus"
  local args=("$corpus")
  [[ -n "$max_len" ]] && args=(-max_len="$max_len" "${args[@]}")
  [[ -d fuzz/corpus/$name ]] && args+=("fuzz/corpus/$name")
  local start=$(date +%s)
  local status=0
  nice -n 15 "build/fuzz/bin/fuzz_$name" -runs="$runs" -max_total_time="$limit" -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$name-" "${args[@]}" >"$logs/$name.log" 2>&1 ||
    status=$?
  echo "campaign: seconds=$(($(date +%s) - start)) status=$status" >>"$logs/$name.log"
}

running=0
waiting=${#targets[@]}
for name in "${targets[@]}"; do
  if [[ ! -x build/fuzz/bin/fuzz_$name ]]; then
    echo "fuzz-campaign: no target fuzz_$name" >&2
    exit 2
  fi
  if ((running >= jobs)); then
    wait -n || true
    running=$((running - 1))
  fi
  echo "fuzz-campaign: $name (up to $runs runs)"
  run_target "$name" "$waiting" &
  running=$((running + 1))
  waiting=$((waiting - 1))
done
wait

failed=0
total=0
printf '%-18s %14s %10s %8s  %s\n' target executions exec/s seconds result
for name in "${targets[@]}"; do
  log=$logs/$name.log
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  secs=$(sed -n 's/^campaign: seconds=\([0-9]*\).*/\1/p' "$log")
  status=$(sed -n 's/^campaign: .*status=//p' "$log")
  result=ok
  if grep -q '^skipped' "$log"; then
    result=skipped
  elif [[ "$status" != 0 ]]; then
    result="FAILED (see $log)"
    failed=1
  fi
  total=$((total + ${execs:-0}))
  printf '%-18s %14s %10s %8s  %s\n' "$name" "${execs:-0}" "${speed:-0}" "${secs:-0}" "$result"
done
printf '%-18s %14s\n' total "$total"
exit $failed
