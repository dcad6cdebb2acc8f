#!/usr/bin/env bash
# Runs the slow-upload client against `ferrolift serve` on a small scale: every upload must
# come back saved intact with both probes answered, and uploads over the size limit must
# never count as saved. Catches faults in the client's request, answer and check code as
# well as in concurrent saving.
# Usage: smoke_test.sh FERROLIFT_BINARY SLOW_UPLOADS_BINARY SOURCE_DIR
set -uo pipefail
ferrolift=$1 client=$2 source=$3
work=$(mktemp -d /tmp/ferrolift-load-smoke.XXXXXX)
export FERROLIFT_REGISTRY=$work/registry.reg FERROLIFT_EVENTLOG=$work/events.log
pid=
cleanup() { [[ -n $pid ]] && { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }; rm -rf "$work"; }
trap cleanup EXIT
cp -r "$source/bench/load/site" "$work/site"
mkdir -p "$work/site/uploads"
"$ferrolift" serve --root "$work/site" --listen 127.0.0.1:0 >/dev/null 2>"$work/server.log" &
pid=$!
port=
for _ in $(seq 100); do
  port=$(grep -oE 'port [1-9][0-9]*' "$work/server.log" | head -1 | cut -d' ' -f2)
  [[ -n $port ]] && break
  sleep 0.1
done
[[ -n $port ]] || { echo "server did not start"; cat "$work/server.log"; exit 1; }

passed=0 failed=0
expect() {   # expect OUTPUT KEY VALUE
  local got; got=$(grep "^$2=" <<<"$1" | cut -d= -f2)
  if [[ $got == "$3" ]]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $2=$got, expected $3"; fi
}

# Twenty uploads of 64 KB at 512 KB/s: a few tenths of a second each, all at once.
out=$("$client" --port "$port" --count 20 --size 65536 --rate 524288 --ramp 0.2 --deadline 60 \
      --interval-ms 20 --saved "$work/site/uploads")
echo "$out"
expect "$out" ok 20
expect "$out" intact 20
expect "$out" failed 0
expect "$out" static_failed 0
expect "$out" poll_failed 0
[[ $(grep '^static_answered=' <<<"$out" | cut -d= -f2) -gt 0 ]] && passed=$((passed + 1)) ||
  { failed=$((failed + 1)); echo "FAIL: no static probe answered"; }
[[ -z $(ls "$work/site/uploads") ]] && passed=$((passed + 1)) ||
  { failed=$((failed + 1)); echo "FAIL: checked files were left behind"; }

# Two uploads over the page's 8 MiB limit: refused, so none may count as saved.
out=$("$client" --port "$port" --count 2 --size 9000000 --rate 100000000 --ramp 0 --deadline 60 \
      --static "" --poll "" --saved "$work/site/uploads")
echo "$out"
expect "$out" ok 0
expect "$out" intact 0

echo "load smoke: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
