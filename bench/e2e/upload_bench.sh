#!/usr/bin/env bash
# Uploads one big file with curl -F through `ferrolift serve` to a page that saves it,
# with the default read chunk size and with 65536; through a raw sink that only reads and
# discards; and through a floor server that does only the file work saving needs (write
# the body to a temporary file, map it, find the divider, copy the part to a file), all in
# the same run. Prints MB/s, the ratio to the sink and the
# server's peak RssAnon. Each server takes RUNS uploads in a row; the median is the
# figure (the first upload to a fresh process is usually the slowest, and page-cache
# writeback on a small virtual machine makes single runs vary by half).
# Usage: bench/e2e/upload_bench.sh [BUILD_DIR] [SIZE_MIB] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build/default}
size_mib=${2:-1024}
runs=${3:-5}
ferrolift=$build/bin/ferrolift
work=$(mktemp -d /tmp/ferrolift-bench.XXXXXX)
export FERROLIFT_REGISTRY=$work/registry.reg FERROLIFT_EVENTLOG=$work/events.log
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

src=$here/../..
g++ -O2 -std=c++20 -o "$work/sink" "$here/sink.cpp" -lcivetweb
g++ -O2 -std=c++20 -o "$work/floor_server" "$here/floor_server.cpp" -lcivetweb
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

# uploads URL [SAVES]: RUNS uploads, prints "median best all" in seconds. With SAVES the
# page must have saved the whole body; the file is removed between runs.
uploads() {
  local times=() t
  for _ in $(seq "$runs"); do
    t=$(upload "$1"); times+=("$t")
    if [[ -n ${2:-} ]]; then
      [[ -f "$work/site/upload.bin" ]] && saved=$(stat -c %s "$work/site/upload.bin") || saved=0
      [[ $saved -eq $bytes ]] || echo "bench: saved $saved of $bytes bytes" >&2
    fi
    rm -f "$work/site/upload.bin"
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {printf "%s %s", a[int((NR+1)/2)], a[1]}'
  echo " $(IFS=,; echo "${times[*]}")"
}

set_chunk() {   # set_chunk [BYTES]: ReadChunkSize, or the default when empty
  if [[ -n ${1:-} ]]; then
    "$ferrolift" reg add 'HKLM\SOFTWARE\Tallowmere\Ferrolift\4.0' /v ReadChunkSize /t REG_DWORD /d "$1" /f >/dev/null
  else
    "$ferrolift" reg delete 'HKLM\SOFTWARE\Tallowmere\Ferrolift\4.0' /v ReadChunkSize /f >/dev/null 2>&1 || true
  fi
}

# measure LABEL PATH SAVES COMMAND...: starts the server (its stderr must name the port),
# uploads to PATH, prints "label median best peakKiB all-times".
measure() {
  local label=$1 path=$2 saves=$3; shift 3
  local port; port=$(free_port)
  "$@" "$port" >/dev/null 2>"$work/server.log" &
  local pid=$!; pids+=("$pid")
  for _ in $(seq 50); do grep -q "port $port" "$work/server.log" && break; sleep 0.1; done
  rm -f "$work/rss.stop"
  watch_rss "$pid" "$work/rss" &
  local watcher=$!
  local median best all; read -r median best all < <(uploads "http://127.0.0.1:$port$path" "$saves")
  touch "$work/rss.stop"; wait "$watcher"
  kill -TERM "$pid"; wait "$pid" 2>/dev/null || true
  grep -q "^$bytes" "$work/answer" || echo "bench: $label answered $(head -c 60 "$work/answer")" >&2
  echo "$label $median $best $(cat "$work/rss") $all"
}

serve_cmd() { exec "$ferrolift" serve --root "$work/site" --threads 4 --timeout 120 --listen "127.0.0.1:$1"; }
floor_cmd() { exec "$work/floor_server" "$1" "$work/site"; }

port=$(free_port)
"$work/sink" "$port" & pids+=($!)
sleep 0.3
read -r sink_median sink_best sink_all < <(uploads "http://127.0.0.1:$port/")

lines=()
for chunk in "" 65536; do
  set_chunk "$chunk"
  lines+=("$(measure "serve-save-${chunk:-2048}" /save.asp 1 serve_cmd)")
done
lines+=("$(measure "floor" / 1 floor_cmd)")

rate() { awk -v b="$bytes" -v s="$1" 'BEGIN {printf "%.1f", b / 1e6 / s}'; }
sink_rate=$(rate "$sink_median")
echo "bench: ${size_mib} MiB, median of $runs uploads per server"
printf '%-18s %9s %9s %9s %7s %13s  %s\n' "run" "median s" "MB/s" "best MB/s" "ratio" "peak RssAnon" "all seconds"
printf '%-18s %9s %9s %9s %7s %13s  %s\n' "raw-sink" "$sink_median" "$sink_rate" "$(rate "$sink_best")" "1.00" "-" "$sink_all"
for line in "${lines[@]}"; do
  read -r label median best rss all <<<"$line"
  printf '%-18s %9s %9s %9s %7s %9s KiB  %s\n' "$label" "$median" "$(rate "$median")" "$(rate "$best")" \
    "$(awk -v r="$(rate "$median")" -v s="$sink_rate" 'BEGIN {printf "%.2f", r / s}')" "$rss" "$all"
done
