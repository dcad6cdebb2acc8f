#!/usr/bin/env bash
# Three `ferrolift serve` backends behind a real nginx configured from the packaged
# example: concurrent uploads with progress polls meet in the same backend, every file
# arrives intact, and a backend killed mid-upload fails only the uploads it was reading.
# Usage: nginx_test.sh FERROLIFT_BINARY SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$@" nginx curl

SITE=$WORK/site
make_site "$SITE"
BACKEND_PIDS=()
BACKEND_PORTS=()
for n in 1 2 3; do
  start_serve "$WORK/backend$n" --root "$SITE" --threads 24 --timeout 20
  BACKEND_PIDS+=("$LAST_PID")
  BACKEND_PORTS+=("$LAST_PORT")
done

# nginx with its own prefix, configuration and port; the site block is the packaged
# example with its ports replaced.
NGINX=$WORK/nginx
mkdir -p "$NGINX"/{logs,temp}
chown nobody "$NGINX/temp"
start_nginx() {
  local attempt
  for attempt in 1 2 3; do
    NGINX_PORT=$(pick_port) || return 1
    sed -e "s|^\( *\)listen 80;|\1listen 127.0.0.1:$NGINX_PORT;|" -e '/listen \[::\]:80;/d' \
        -e "s|server 127.0.0.1:8081 |server 127.0.0.1:${BACKEND_PORTS[0]} |" \
        -e "s|server 127.0.0.1:8082 |server 127.0.0.1:${BACKEND_PORTS[1]} |" \
        -e "s|server 127.0.0.1:8083 |server 127.0.0.1:${BACKEND_PORTS[2]} |" \
        "$SOURCE_DIR/packaging/nginx/ferrolift.conf" >"$NGINX/ferrolift.conf"
    cat >"$NGINX/nginx.conf" <<EOF
worker_processes 1;
error_log $NGINX/logs/error.log warn;
pid $NGINX/nginx.pid;
events { worker_connections 512; }
http {
    access_log $NGINX/logs/access.log;
    client_body_temp_path $NGINX/temp/body;
    proxy_temp_path $NGINX/temp/proxy;
    fastcgi_temp_path $NGINX/temp/fastcgi;
    uwsgi_temp_path $NGINX/temp/uwsgi;
    scgi_temp_path $NGINX/temp/scgi;
    include $NGINX/ferrolift.conf;
}
EOF
    nginx -p "$NGINX" -c "$NGINX/nginx.conf" -g 'daemon off;' 2>>"$NGINX/logs/stderr" &
    NGINX_PID=$!
    PIDS+=("$NGINX_PID")
    wait_for_tcp "$NGINX_PORT" && kill -0 "$NGINX_PID" 2>/dev/null && return 0
    kill -KILL "$NGINX_PID" 2>/dev/null
  done
  echo "nginx did not start:"; cat "$NGINX/logs/error.log" "$NGINX/logs/stderr"
  return 1
}
start_nginx || exit 1
BASE=http://127.0.0.1:$NGINX_PORT

# Uploads one file at a limited rate with progress polls beside it, through nginx.
# Leaves the HTTP status in $dir/status and the percentages seen in $dir/polls.
# upload_with_polls DIR ID FILE RATE
upload_with_polls() {
  local dir=$1 id=$2 file=$3 rate=$4
  mkdir -p "$dir"
  curl -sS -o "$dir/page" -w '%{http_code}' --limit-rate "$rate" -m 90 \
    -F "file1=@$file" "$BASE/results.asp?ID=$id" >"$dir/status" 2>"$dir/curl.err" &
  local upload=$!
  : >"$dir/polls"
  while kill -0 "$upload" 2>/dev/null; do
    curl -sS -m 5 "$BASE/progress.asp?ID=$id" 2>/dev/null | sed -n 's/.*"percent":\([0-9]*\).*/\1/p' >>"$dir/polls"
    sleep 0.4
  done
  wait "$upload"
  # The last word, after the page answered.
  curl -sS -m 5 "$BASE/progress.asp?ID=$id" 2>/dev/null | sed -n 's/.*"percent":\([0-9]*\).*/\1/p' >>"$dir/polls"
}

polls_rise_to_100() {   # polls_rise_to_100 FILE: never falls, ends at 100, seen mid-way
  awk 'BEGIN { last = -1; mid = 0 }
       { if ($1 < last) exit 1; last = $1; if ($1 > 0 && $1 < 100) mid = 1 }
       END { exit !(last == 100 && mid) }' "$1"
}

# Which backend reads upload ID right now: the one whose own progress record for it
# has started (asked directly, not through nginx).
backend_of() {
  local n
  for n in 0 1 2; do
    if curl -sS -m 5 "http://127.0.0.1:${BACKEND_PORTS[$n]}/progress.asp?ID=$1" | grep -q '"started":true'; then
      echo "$n"; return 0
    fi
  done
  return 1
}

concurrent_uploads_through_nginx() {
  local i ok=0
  mkdir -p "$WORK/files"
  for i in $(seq 30); do make_file "$WORK/files/up$i.bin" $((600000 + i * 1000)); done
  for i in $(seq 30); do
    upload_with_polls "$WORK/c$i" $((4100 + i)) "$WORK/files/up$i.bin" 200k &
  done
  wait
  for i in $(seq 30); do
    local dir=$WORK/c$i
    if [[ $(cat "$dir/status") != 200 ]]; then echo "upload $i: HTTP $(cat "$dir/status") $(cat "$dir/curl.err")"; continue; fi
    if ! polls_rise_to_100 "$dir/polls"; then echo "upload $i polls:" $(cat "$dir/polls"); continue; fi
    if [[ ! -f $SITE/uploads/up$i.bin || $(sha "$SITE/uploads/up$i.bin") != $(sha "$WORK/files/up$i.bin") ]]; then
      echo "upload $i not saved intact"; continue
    fi
    ok=$((ok + 1))
  done
  [[ $ok -eq 30 ]] || { echo "$ok of 30 uploads complete"; return 1; }
  # The hash spreads IDs over every backend, and each upload went to one only.
  local n count
  for n in 1 2 3; do
    count=$(grep -c 'POST /results.asp' "$WORK/backend$n.access")
    [[ $count -gt 0 ]] || { echo "backend $n took no upload"; return 1; }
  done
  [[ $(cat "$WORK"/backend{1,2,3}.access | grep -c 'POST /results.asp') -eq 30 ]]
}

killed_backend_fails_only_its_uploads() {
  local i ids=() victim=-1 n
  for i in $(seq 12); do
    make_file "$WORK/files/slow$i.bin" 2000000
    ids+=($((5200 + i)))
    upload_with_polls "$WORK/k$i" "${ids[$((i - 1))]}" "$WORK/files/slow$i.bin" 150k &
  done
  sleep 3
  # Find where each upload runs and pick a backend that holds some, but not all.
  local owners=()
  for i in $(seq 12); do owners+=("$(backend_of "${ids[$((i - 1))]}")"); done
  for n in 0 1 2; do
    local held
    held=$(printf '%s\n' "${owners[@]}" | grep -cx "$n")
    if [[ $held -gt 0 && $held -lt 12 ]]; then victim=$n; break; fi
  done
  [[ $victim -ge 0 ]] || { echo "uploads did not spread: ${owners[*]}"; wait; return 1; }
  kill -KILL "${BACKEND_PIDS[$victim]}"
  wait
  local failed=0 completed=0
  for i in $(seq 12); do
    local dir=$WORK/k$i status
    status=$(cat "$dir/status")
    if [[ ${owners[$((i - 1))]} == "$victim" ]]; then
      # The client learns of it: an error status or a broken transfer, never 200.
      [[ $status != 200 ]] || { echo "upload $i on the killed backend answered 200"; return 1; }
      [[ ! -e $SITE/uploads/slow$i.bin ]] || { echo "upload $i left a file"; return 1; }
      failed=$((failed + 1))
    else
      [[ $status == 200 ]] || { echo "upload $i on a live backend: HTTP $status $(cat "$dir/curl.err")"; return 1; }
      [[ $(sha "$SITE/uploads/slow$i.bin") == $(sha "$WORK/files/slow$i.bin") ]] || { echo "upload $i damaged"; return 1; }
      polls_rise_to_100 "$dir/polls" || { echo "upload $i polls:" $(cat "$dir/polls"); return 1; }
      completed=$((completed + 1))
    fi
  done
  echo "killed backend $((victim + 1)): $failed uploads failed, $completed completed"
  # New uploads, whatever their ID, still succeed on the remaining backends.
  for i in $(seq 6); do
    upload_with_polls "$WORK/after$i" $((5300 + i)) "$WORK/files/up$i.bin" 4m
    [[ $(cat "$WORK/after$i/status") == 200 ]] || { echo "upload after the kill: HTTP $(cat "$WORK/after$i/status")"; return 1; }
  done
}

check concurrent_uploads_through_nginx concurrent_uploads_through_nginx
check killed_backend_fails_only_its_uploads killed_backend_fails_only_its_uploads
stop_pid "$NGINX_PID" || true
finish
