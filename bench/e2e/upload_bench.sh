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

src=$here/../..
g++ -O2 -std=c++20 -o "$work/sink" "$here/sink.cpp" -lcivetweb
g++ -O2 -std=c++20 -fnon-call-exceptions -I"$src" -I"$src/platform/include" -o "$work/intake_server" \
  "$here/intake_server.cpp" "$build/host/libferrolift-host.a" "$build/component/libferrolift-core.a" \
  -Wl,-rpath,"$build/lib" "$build/lib/libferrolift-platform.so" -lcivetweb -lduktape -ldl -lm -lpthread
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

set_chunk() {   # set_chunk [BYTES]: ReadChunkSize, or the default when empty
  if [[ -n ${1:-} ]]; then
    "$ferrolift" reg add 'HKLM\SOFTWARE\Tallowmere\Ferrolift\4.0' /v ReadChunkSize /t REG_DWORD /d "$1" /f >/dev/null
  else
    "$ferrolift" reg delete 'HKLM\SOFTWARE\Tallowmere\Ferrolift\4.0' /v ReadChunkSize /f >/dev/null 2>&1 || true
  fi
}

# measure LABEL PATH COMMAND...: starts the server (its stderr must name the port),
# uploads to PATH, prints "label seconds MB/s peakKiB answer".
measure() {
  local label=$1 path=$2; shift 2
  local port; port=$(free_port)
  "$@" "$port" >/dev/null 2>"$work/server.log" &
  local pid=$!; pids+=("$pid")
  for _ in $(seq 50); do grep -q "port $port" "$work/server.log" && break; sleep 0.1; done
  rm -f "$work/rss.stop"
  watch_rss "$pid" "$work/rss" &
  local watcher=$!
  local seconds; seconds=$(upload "http://127.0.0.1:$port$path")
  touch "$work/rss.stop"; wait "$watcher"
  kill -TERM "$pid"; wait "$pid" 2>/dev/null || true
  echo "$label $seconds $(awk -v b="$bytes" -v s="$seconds" 'BEGIN {printf "%.1f", b / 1e6 / s}') $(cat "$work/rss") $(head -c 60 "$work/answer" | tr -s ' \n' '_')"
}

serve_cmd() { exec "$ferrolift" serve --root "$work/site" --threads 4 --timeout 120 --listen "127.0.0.1:$1"; }
intake_cmd() { exec "$work/intake_server" "$1"; }

port=$(free_port)
"$work/sink" "$port" & pids+=($!)
sleep 0.3
sink_seconds=$(upload "http://127.0.0.1:$port/")
sink_rate=$(awk -v b="$bytes" -v s="$sink_seconds" 'BEGIN {printf "%.1f", b / 1e6 / s}')

lines=()
for chunk in "" 65536; do
  set_chunk "$chunk"
  lines+=("$(measure "serve-save-${chunk:-2048}" /save.asp serve_cmd)")
  [[ -f "$work/site/upload.bin" ]] && saved=$(stat -c %s "$work/site/upload.bin") || saved=0
  [[ $saved -eq $bytes ]] || echo "bench: serve-save-${chunk:-2048} saved $saved of $bytes bytes" >&2
  rm -f "$work/site/upload.bin"
  lines+=("$(measure "intake-${chunk:-2048}" / intake_cmd)")
done

printf '%-18s %10s %10s %8s %14s\n' "run" "seconds" "MB/s" "ratio" "peak RssAnon"
printf '%-18s %10s %10s %8s %14s\n' "raw-sink" "$sink_seconds" "$sink_rate" "1.00" "-"
for line in "${lines[@]}"; do
  read -r label seconds rate rss answer <<<"$line"
  printf '%-18s %10s %10s %8s %11s KiB  %s\n' "$label" "$seconds" "$rate" \
    "$(awk -v r="$rate" -v s="$sink_rate" 'BEGIN {printf "%.2f", r / s}')" "$rss" "$answer"
done
