#!/usr/bin/env bash
# The load benchmark: request rates and latencies of `ferrolift serve` against the Node
# http + busboy peer (peer.js), each pair back to back in one run, then the 1 GiB upload
# benchmark of bench/e2e. Prints one table at the end.
#
# Usage: bench/load/run.sh [quick|full]      (quick: a few minutes, to try the script)
# Environment: BUILD_DIR (build/default), DURATION (seconds per wrk run), ROUNDS (pairs of
# the small-upload run; the median counts), SUSTAIN_SECONDS, SEGMENT_SECONDS, SLOW_COUNT,
# SLOW_SIZE, SLOW_RATE, SLOW_DEADLINE, SERVE_ARGS (extra options for ferrolift serve),
# SKIP_BIG=1 (leaves out the 1 GiB upload), WRK_THREADS (2).
# Every load runs against 127.0.0.1 only and ends by itself.
set -euo pipefail
mode=${1:-quick}
case $mode in
  quick) : "${DURATION:=5}" "${ROUNDS:=1}" "${SUSTAIN_SECONDS:=40}" "${SEGMENT_SECONDS:=10}"
         : "${SLOW_COUNT:=200}" "${SLOW_SIZE:=102400}" "${SLOW_DEADLINE:=40}" "${BIG_MIB:=128}" "${BIG_RUNS:=2}" ;;
  full)  : "${DURATION:=15}" "${ROUNDS:=3}" "${SUSTAIN_SECONDS:=300}" "${SEGMENT_SECONDS:=10}"
         : "${SLOW_COUNT:=1000}" "${SLOW_SIZE:=409600}" "${SLOW_DEADLINE:=120}" "${BIG_MIB:=1024}" "${BIG_RUNS:=5}" ;;
  *) echo "usage: $0 [quick|full]" >&2; exit 2 ;;
esac
: "${SLOW_RATE:=20480}" "${WRK_THREADS:=2}" "${SERVE_ARGS:=}" "${SKIP_BIG:=0}"

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${BUILD_DIR:-$root/build/default}
ferrolift=$build/bin/ferrolift
client=$build/bin/slow_uploads

if ! command -v wrk >/dev/null || ! command -v node >/dev/null || [[ ! -e /usr/include/civetweb.h ]]; then
  bash "$root/scripts/deps.sh" --load >&2
fi
for tool in wrk node curl; do
  command -v "$tool" >/dev/null || { echo "load bench: $tool is missing (scripts/deps.sh --load installs it)" >&2; exit 1; }
done
if [[ ! -x $ferrolift || ! -x $client ]]; then
  echo "load bench: building ferrolift and slow_uploads in $build" >&2
  cmake --build "$build" --target ferrolift-cli ferrolift slow_uploads >&2
fi
if [[ ! -d $here/node_modules/busboy ]]; then
  echo "load bench: installing the Node peer's packages" >&2
  (cd "$here" && npm ci --no-audit --no-fund >&2)
fi

# Slow uploads hold a connection each, on both ends.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

work=$(mktemp -d /tmp/ferrolift-load.XXXXXX)
export FERROLIFT_REGISTRY=$work/registry.reg FERROLIFT_EVENTLOG=$work/events.log
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp -r "$here/site" "$work/site"
mkdir -p "$work/site/uploads"

rows=()        # lines of the final table
row() { rows+=("$(printf '%-40s %-9s %9s %9s %9s %6s  %s' "$@")"); }

# start_server NAME COMMAND...: starts a server whose standard error names its port;
# sets $server_pid and $server_port.
start_server() {
  local name=$1; shift
  "$@" >/dev/null 2>"$work/$name.log" &
  server_pid=$!; pids+=("$server_pid")
  server_port=
  for _ in $(seq 100); do
    server_port=$(grep -oE '(port |127\.0\.0\.1:)[1-9][0-9]*' "$work/$name.log" | head -1 | grep -oE '[0-9]+$' || true)
    [[ -n $server_port ]] && break
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -z $server_port ]]; then
    echo "load bench: $name did not start:" >&2; cat "$work/$name.log" >&2; exit 1
  fi
}
stop_server() { kill -TERM "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }

start_ferrolift() {
  # shellcheck disable=SC2086
  start_server ferrolift "$ferrolift" serve --root "$work/site" --listen 127.0.0.1:0 $SERVE_ARGS
  f_pid=$server_pid f_port=$server_port
}
start_peer() {
  start_server peer node "$here/peer.js" "$work/site" 0
  n_pid=$server_pid n_port=$server_port
}

# wrk_run SCRIPT URL CONNECTIONS SECONDS: prints the RESULT line's fields.
wrk_run() {
  local out threads=$WRK_THREADS
  (( $3 < threads )) && threads=$3
  out=$(wrk -t"$threads" -c"$3" -d"${4}s" --timeout 10s --latency -s "$here/$1" "$2" 2>&1) || true
  grep '^RESULT' <<<"$out" | sed 's/^RESULT //' || { echo "load bench: wrk failed: $out" >&2; echo "rps=0"; }
}
field() { grep -oE "(^| )$1=[^ ]*" <<<"$2" | head -1 | cut -d= -f2; }   # field NAME LINE
errors_of() {
  local l=$1
  echo $(( $(field status_errors "$l") + $(field connect_errors "$l") + $(field read_errors "$l") +
           $(field write_errors "$l") + $(field timeouts "$l") ))
}
wrk_row() {   # wrk_row TEST SERVER LINE [NOTE]
  row "$1" "$2" "$(field rps "$3")" "$(field p50_ms "$3")" "$(field p99_ms "$3")" "$(errors_of "$3")" "${4:-}"
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
hwm_kib() { awk '/^VmHWM/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
anon_kib() { awk '/^RssAnon/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "-"}'; }
say() { echo "load bench: $*" >&2; }
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
say "$mode run; load average before: $load_before"

# Checks that the last small upload each server took was saved whole: the saved file must
# be the 10 000 bytes the wrk script sends.
check_saved() {
  local f; f=$(ls -t "$work/site/uploads"/t0-*.bin 2>/dev/null | head -1 || true)
  [[ -n $f && $(stat -c %s "$f") -eq 10000 ]] || say "$1: no whole 10 000-byte file saved (${f:-none})"
  rm -f "$work/site/uploads"/t*.bin
}

# 1. Small uploads over 16 keep-alive connections, ferrolift and the peer back to back.
start_ferrolift
start_peer
say "servers: ferrolift on $f_port, peer on $n_port"
curl -sS -o /dev/null "http://127.0.0.1:$f_port/hi.asp"   # first page compile out of the way
f_lines=() n_lines=()
for r in $(seq "$ROUNDS"); do
  say "small upload round $r: ferrolift"
  f_lines+=("$(wrk_run upload.lua "http://127.0.0.1:$f_port/upload.asp" 16 "$DURATION")")
  check_saved ferrolift
  say "small upload round $r: peer"
  n_lines+=("$(wrk_run upload.lua "http://127.0.0.1:$n_port/upload" 16 "$DURATION")")
  check_saved peer
done
pick_median() {   # pick_median LINES...: the line with the median rate
  local m; m=$(for l in "$@"; do field rps "$l"; done | median)
  for l in "$@"; do [[ $(field rps "$l") == "$m" ]] && { echo "$l"; return; }; done
}
f_up=$(pick_median "${f_lines[@]}"); n_up=$(pick_median "${n_lines[@]}")
all_rates() { local s=""; for l in "$@"; do s+="$(field rps "$l") "; done; echo "${s% }"; }
wrk_row "small upload, 16 keep-alive" ferrolift "$f_up" "median of: $(all_rates "${f_lines[@]}")"
wrk_row "small upload, 16 keep-alive" node "$n_up" "median of: $(all_rates "${n_lines[@]}")"
row "  ratio ferrolift / node" "" "$(ratio "$(field rps "$f_up")" "$(field rps "$n_up")")" "" "" "" "target >= 1.0, p99 < 10 ms"

# 2. Trivial page and static file, then progress polls while 16 connections upload.
say "trivial page and static file"
l=$(wrk_run get.lua "http://127.0.0.1:$f_port/hi.asp" 16 "$DURATION"); wrk_row "page writing \"hi\", 16 keep-alive" ferrolift "$l" "target >= 10000"
l=$(wrk_run get.lua "http://127.0.0.1:$n_port/hi" 16 "$DURATION"); wrk_row "page writing \"hi\", 16 keep-alive" node "$l"
l=$(wrk_run get.lua "http://127.0.0.1:$f_port/static.txt" 16 "$DURATION"); wrk_row "static 6-byte file, 16 keep-alive" ferrolift "$l" "target >= 15000"
l=$(wrk_run get.lua "http://127.0.0.1:$n_port/static.txt" 16 "$DURATION"); wrk_row "static 6-byte file, 16 keep-alive" node "$l"
# One connection shows the time a single request takes on a quiet line: a keep-alive
# answer that waits for the client's delayed acknowledgement shows up here as ~40 ms.
l=$(wrk_run get.lua "http://127.0.0.1:$f_port/static.txt" 1 "$DURATION"); wrk_row "static 6-byte file, 1 keep-alive" ferrolift "$l"
l=$(wrk_run get.lua "http://127.0.0.1:$n_port/static.txt" 1 "$DURATION"); wrk_row "static 6-byte file, 1 keep-alive" node "$l"

# poll_run NAME UPLOAD_URL POLL_URL: one long upload trickles in under ID 4242 while 16
# connections post small uploads and 16 more poll the long upload's progress.
poll_run() {
  local rate=262144 bytes
  bytes=$(( rate * (DURATION + 6) ))
  head -c "$bytes" /dev/urandom >"$work/long.bin"
  curl -sS -o /dev/null -H 'Expect:' --limit-rate "$rate" -F "file=@$work/long.bin" -F title=long -F note=poll \
       --max-time $((DURATION + 30)) "$2?ID=4242&slot=long" 2>/dev/null &
  local upload=$!
  sleep 1
  wrk_run upload.lua "$3" 16 $((DURATION + 2)) >/dev/null &
  local load=$!
  sleep 1
  local line; line=$(wrk_run get.lua "$4?ID=4242" 16 "$DURATION")
  say "$1 poll while uploading: $(curl -sS --max-time 5 "$4?ID=4242" || true)"
  wait "$load" || true
  kill "$upload" 2>/dev/null || true; wait "$upload" 2>/dev/null || true
  rm -f "$work/site/uploads"/*.bin "$work/long.bin"
  echo "$line"
}
say "progress polls under upload load"
l=$(poll_run ferrolift "http://127.0.0.1:$f_port/upload.asp" "http://127.0.0.1:$f_port/upload.asp" \
             "http://127.0.0.1:$f_port/progress.asp")
wrk_row "progress polls, 16 uploading" ferrolift "$l" "target >= 5000"
l=$(poll_run peer "http://127.0.0.1:$n_port/upload" "http://127.0.0.1:$n_port/upload" "http://127.0.0.1:$n_port/progress")
wrk_row "progress polls, 16 uploading" node "$l"
stop_server "$f_pid"; stop_server "$n_pid"

# 3. Sustained small uploads against a fresh ferrolift: wrk in segments back to back; the
# first and last minute (a third of the run when it is shorter) compared; RSS sampled.
say "sustained small uploads for ${SUSTAIN_SECONDS}s"
start_ferrolift
window=$(( SUSTAIN_SECONDS / 3 < 60 ? SUSTAIN_SECONDS / 3 : 60 ))
(( window >= SEGMENT_SECONDS )) || window=$SEGMENT_SECONDS
(
  while kill -0 "$f_pid" 2>/dev/null && [[ ! -e $work/rss.stop ]]; do rss_kib "$f_pid"; sleep 5; done
) >"$work/rss.samples" &
sampler=$!
segments=$(( SUSTAIN_SECONDS / SEGMENT_SECONDS ))
per_window=$(( window / SEGMENT_SECONDS ))
window=$(( per_window * SEGMENT_SECONDS ))
seg_rates=() seg_errors=0
for s in $(seq "$segments"); do
  l=$(wrk_run upload.lua "http://127.0.0.1:$f_port/upload.asp" 16 "$SEGMENT_SECONDS")
  seg_rates+=("$(field rps "$l")"); seg_errors=$(( seg_errors + $(errors_of "$l") ))
  rm -f "$work/site/uploads"/t*.bin
done
touch "$work/rss.stop"; wait "$sampler" 2>/dev/null || true
stop_server "$f_pid"
avg() { awk '{s+=$1; n++} END {if (n) printf "%.1f", s/n; else print 0}'; }
first=$(printf '%s\n' "${seg_rates[@]:0:per_window}" | avg)
last=$(printf '%s\n' "${seg_rates[@]: -per_window}" | avg)
rss=$(awk 'NR==1 {f=$1} {if ($1>m) m=$1; l=$1} END {printf "%d→%d KiB, peak %d", f/1, l/1, m/1}' "$work/rss.samples")
row "sustained upload, first ${window}s" ferrolift "$first" "" "" "$seg_errors" "segments of ${SEGMENT_SECONDS}s: ${seg_rates[*]}"
row "sustained upload, last ${window}s" ferrolift "$last" "" "" "" "last/first $(ratio "$last" "$first") (target >= 0.9)"
row "  RSS every 5 s" ferrolift "" "" "" "" "$rss ($(wc -l <"$work/rss.samples") samples: $(tr '\n' ' ' <"$work/rss.samples"))"

# 4. Many slow uploads at once, with static and poll latency probed throughout.
slow_run() {   # slow_run NAME PID PORT UPLOAD_PATH POLL_PATH
  local out
  # VmHWM counts the file pages a server maps too (the read cache of a large body);
  # the anonymous peak is the memory the uploads really cost.
  rm -f "$work/anon.peak"
  ( m=0; while kill -0 "$2" 2>/dev/null && [[ ! -e $work/anon.stop ]]; do
      a=$(anon_kib "$2"); if (( a > m )); then m=$a; fi; echo "$m" >"$work/anon.peak"; sleep 0.5; done ) &
  local sampler=$!
  out=$("$client" --port "$3" --path "$4" --poll "$5" --static /static.txt --count "$SLOW_COUNT" \
        --size "$SLOW_SIZE" --rate "$SLOW_RATE" --deadline "$SLOW_DEADLINE" --saved "$work/site/uploads" \
        2> >(sed "s/^/load bench: $1 /" >&2))
  touch "$work/anon.stop"; wait "$sampler" 2>/dev/null || true; rm -f "$work/anon.stop"
  local peak; peak=$(hwm_kib "$2")
  local anon; anon=$(cat "$work/anon.peak" 2>/dev/null || echo 0)
  local v; v() { grep "^$1=" <<<"$out" | cut -d= -f2; }
  local label="$SLOW_COUNT slow uploads ($((SLOW_SIZE / 1024)) KB at $((SLOW_RATE / 1024)) KB/s)"
  row "$label" "$1" "" "" "" "$(( $(v failed) + $(v status_other) ))" \
      "$(v intact)/$(v uploads) saved intact, $(v ok) ok, $(v status_503) 503 ($(v retry_after) with Retry-After), $(v failed) failed, $(v seconds) s, peak RSS $peak KiB, anonymous $anon KiB"
  row "  static during slow uploads" "$1" "" "$(v static_p50_ms)" "$(v static_p99_ms)" "$(v static_failed)" \
      "$(v static_answered) answered, max $(v static_max_ms) ms"
  row "  progress poll during slow uploads" "$1" "" "$(v poll_p50_ms)" "$(v poll_p99_ms)" "$(v poll_failed)" \
      "$(v poll_answered) answered, max $(v poll_max_ms) ms"
}
say "$SLOW_COUNT slow uploads: ferrolift"
start_ferrolift
slow_run ferrolift "$f_pid" "$f_port" /upload.asp /progress.asp
stop_server "$f_pid"
say "$SLOW_COUNT slow uploads: peer"
start_peer
slow_run node "$n_pid" "$n_port" /upload /progress
stop_server "$n_pid"
rm -rf "$work/site/uploads"/*

load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# 5. The 1 GiB upload benchmark (its own servers, its own table).
big=""
if [[ $SKIP_BIG != 1 ]]; then
  say "big upload: bench/e2e/upload_bench.sh $BIG_MIB MiB x $BIG_RUNS"
  big=$(bash "$root/bench/e2e/upload_bench.sh" "$build" "$BIG_MIB" "$BIG_RUNS" 2> >(sed 's/^/load bench: /' >&2) || true)
fi

echo
echo "ferrolift load benchmark ($mode): $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores,"
echo "load average before $load_before, after the load runs $load_after (the machine is shared)"
echo "wrk -t$WRK_THREADS, ${DURATION}s per run; latencies in ms; errors = non-2xx, socket errors and time-outs"
printf '%-40s %-9s %9s %9s %9s %6s  %s\n' test server "req/s" "p50 ms" "p99 ms" errors note
for r in "${rows[@]}"; do echo "$r"; done
if [[ -n $big ]]; then
  echo
  echo "big upload (bench/e2e/upload_bench.sh, $BIG_MIB MiB):"
  echo "$big" | grep -v '^bench:' || true
fi
