#!/usr/bin/env bash
# Uploads one big file with curl -F through `ferrolift serve` to a page that saves it,
# with the default read chunk size and with 65536, and through a raw sink that only
# reads and discards, all in the same run. Prints MB/s, the ratio to the sink and the
# server's peak RssAnon.
# Usage: bench/e2e/upload_bench.sh [BUILD_DIR] [SIZE_MIB]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build/default}
size_mib=${2:-1024}
ferrolift=$build/bin/ferrolift
work=$(mktemp -d /tmp/ferrolift-bench.XXXXXX)
export FERROLIFT_REGISTRY=$work/registry.reg FERROLIFT_EVENTLOG=$work/events.log
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

g++ -O2 -std=c++20 -o "$work/sink" "$here/sink.cpp" -lcivetweb
cp -r "$here/site" "$work/site"
echo "bench: making a ${size_mib} MiB file"
head -c $((size_mib * 1048576)) /dev/urandom >"$work/big.bin"
bytes=$(stat -c %s "$work/big.bin")

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' 2>/dev/null ||
              echo $((20000 + RANDOM % 20000)); }

# Peak RssAnon (KiB) of a process, sampled until the marker file appears.
watch_rss() {
  local pid=$1 out=$2 peak=0 now
  while [[ ! -e $out.stop ]]; do
    now=$(awk '/RssAnon/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
    ((now > peak)) && peak=$now
    sleep 0.1
  done
  echo "$peak" >"$out"
}

upload() {   # upload URL: prints seconds
  curl -sS -H 'Expect:' -o "$work/answer" -w '%{time_total}' -F "file=@$work/big.bin" "$1"
}

run_serve() {   # run_serve LABEL [CHUNK]: prints "label seconds MB/s peakKiB"
  local label=$1 chunk=${2:-}
  if [[ -n $chunk ]]; then
    "$ferrolift" reg add 'HKLM\SOFTWARE\Tallowmere\Ferrolift\4.0' /v ReadChunkSize /t REG_DWORD /d "$chunk" /f >/dev/null
  else
    "$ferrolift" reg delete 'HKLM\SOFTWARE\Tallowmere\Ferrolift\4.0' /v ReadChunkSize /f >/dev/null 2>&1 || true
  fi
  local port; port=$(free_port)
  "$ferrolift" serve --root "$work/site" --listen "127.0.0.1:$port" --threads 4 --timeout 120 >/dev/null 2>"$work/serve.log" &
  local pid=$!; pids+=("$pid")
  for _ in $(seq 50); do grep -q "port $port" "$work/serve.log" && break; sleep 0.1; done
  rm -f "$work/rss.stop"
  watch_rss "$pid" "$work/rss" &
  local watcher=$!
  local seconds; seconds=$(upload "http://127.0.0.1:$port/save.asp")
  touch "$work/rss.stop"; wait "$watcher"
  local saved; saved=$(stat -c %s "$work/site/upload.bin" 2>/dev/null || echo 0)
  [[ $saved -eq $bytes ]] || { echo "bench: $label saved $saved of $bytes bytes: $(head -c 300 "$work/answer")" >&2; }
  rm -f "$work/site/upload.bin"
  kill -TERM "$pid"; wait "$pid" 2>/dev/null || true
  echo "$label $seconds $(awk -v b="$bytes" -v s="$seconds" 'BEGIN {printf "%.1f", b / 1e6 / s}') $(cat "$work/rss")"
}

port=$(free_port)
"$work/sink" "$port" & pids+=($!)
sleep 0.3
sink_seconds=$(upload "http://127.0.0.1:$port/")
sink_rate=$(awk -v b="$bytes" -v s="$sink_seconds" 'BEGIN {printf "%.1f", b / 1e6 / s}')

default_line=$(run_serve "default-chunk")
large_line=$(run_serve "chunk-65536" 65536)

printf '%-16s %10s %10s %8s %14s\n' "run" "seconds" "MB/s" "ratio" "peak RssAnon"
printf '%-16s %10s %10s %8s %14s\n' "raw-sink" "$sink_seconds" "$sink_rate" "1.00" "-"
for line in "$default_line" "$large_line"; do
  read -r label seconds rate rss <<<"$line"
  printf '%-16s %10s %10s %8s %11s KiB\n' "$label" "$seconds" "$rate" \
    "$(awk -v r="$rate" -v s="$sink_rate" 'BEGIN {printf "%.2f", r / s}')" "$rss"
done
