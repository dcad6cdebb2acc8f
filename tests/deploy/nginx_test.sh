#!/usr/bin/env bash
# Three `ferrolift serve` backends behind a real nginx configured from the packaged
# example: concurrent uploads with progress polls meet in the same backend, every file
# arrives intact, and a backend killed mid-upload fails only the uploads it was reading.
# Usage: nginx_test.sh FERROLIFT_BINARY SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$@" nginx curl

SITE=$WORK/site
make_site "$SITE"
# Registered once up front rather than by each backend as it starts.
"$FERROLIFT" register >/dev/null || exit 1
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
# Leaves the HTTP status in $dir/status and the percentages seen in $dir/polls. One
# curl makes all the polls of an upload, at a steady rate: a loop of processes falls
# far behind on a busy machine.
# upload_with_polls DIR ID FILE RATE POLLS
upload_with_polls() {
  local dir=$1 id=$2 file=$3 rate=$4 polls=$5
  mkdir -p "$dir/poll"
  # The poller starts first, so that its first answers come from before the upload.
  curl -sS -m 90 --rate 4/s -o "$dir/poll/#1" "$BASE/progress.asp?ID=$id&poll=[1-$polls]" 2>/dev/null &
  local poller=$!
  curl -sS -o "$dir/page" -w '%{http_code}' --limit-rate "$rate" -m 90 \
    -F "file1=@$file" "$BASE/results.asp?ID=$id" >"$dir/status" 2>"$dir/curl.err" &
  local upload=$!
  wait "$upload" "$poller"
  # The last word, after the page answered.
  curl -sS -m 10 -o "$dir/poll/last" "$BASE/progress.asp?ID=$id" 2>/dev/null
  local n
  for n in $(seq "$polls") last; do
    sed -n 's/.*"percent":\([0-9]*\).*/\1/p' "$dir/poll/$n" 2>/dev/null
  done >"$dir/polls"
}

# Prints the upload folders whose polls fall at some point, never reach 100, or show
# nothing between 0 and 100 (shell builtins only: processes are slow on a busy box).
polls_not_rising() {   # polls_not_rising DIR...
  local dir value last mid fell
  for dir in "$@"; do
    last=-1 mid=0 fell=0
    while read -r value; do
      [[ $value =~ ^[0-9]+$ ]] || continue
      ((value < last)) && fell=1
      last=$value
      ((value > 0 && value < 100)) && mid=1
    done <"$dir/polls"
    ((last == 100 && mid && !fell)) || echo "$dir"
  done
}

# The sample site stores an upload under a name it makes: the progress ID, a number and
# the extension ("ID-1.bin" for the first file of upload ID).
stored() { echo "$SITE/uploads/$1-1.bin"; }

# Files (ID:FILE...) whose stored copy is missing or differs from the original.
saved_differently() {   # saved_differently ID:FILE...
  local pair
  for pair in "$@"; do
    cmp -s "$WORK/files/${pair#*:}" "$(stored "${pair%%:*}")" || echo "${pair#*:}"
  done
}

# Which backend reads which upload right now: the IDs whose progress record has started
# in that backend's own memory (asked directly, not through nginx; one request per ID).
# backend_uploads N FIRST_ID LAST_ID
backend_uploads() {
  curl -sS -m 20 "http://127.0.0.1:${BACKEND_PORTS[$1]}/progress.asp?ID=[$2-$3]" |
    grep -o '"id":[0-9]*,"started":true' | sed 's/"id":\([0-9]*\),.*/\1/'
}

concurrent_uploads_through_nginx() {
  local i ok=0
  mkdir -p "$WORK/files"
  for i in $(seq 30); do make_file "$WORK/files/up$i.bin" $((400000 + i * 1000)); done
  local jobs=()
  for i in $(seq 30); do
    upload_with_polls "$WORK/c$i" $((4100 + i)) "$WORK/files/up$i.bin" 100k 24 &
    jobs+=($!)
  done
  wait "${jobs[@]}"
  local dirs=() names=() bad
  for i in $(seq 30); do
    dirs+=("$WORK/c$i")
    names+=("$((4100 + i)):up$i.bin")
    [[ $(<"$WORK/c$i/status") == 200 ]] || { echo "upload $i: HTTP $(<"$WORK/c$i/status") $(<"$WORK/c$i/curl.err")"; return 1; }
  done
  bad=$(polls_not_rising "${dirs[@]}")
  [[ -z $bad ]] || { for i in $bad; do echo "$i polls:" $(<"$i/polls"); done; return 1; }
  bad=$(saved_differently "${names[@]}")
  [[ -z $bad ]] || { echo "not saved intact: $bad"; return 1; }
  # The hash spreads IDs over every backend, and each upload went to one only.
  local n count
  for n in 1 2 3; do
    count=$(grep -c 'POST /results.asp' "$WORK/backend$n.access")
    [[ $count -gt 0 ]] || { echo "backend $n took no upload"; return 1; }
  done
  [[ $(cat "$WORK"/backend{1,2,3}.access | grep -c 'POST /results.asp') -eq 30 ]]
}

killed_backend_fails_only_its_uploads() {
  local i victim=-1 n jobs=()
  for i in $(seq 12); do
    make_file "$WORK/files/slow$i.bin" 1000000
    upload_with_polls "$WORK/k$i" $((5200 + i)) "$WORK/files/slow$i.bin" 100k 20 &
    jobs+=($!)
  done
  sleep 3
  # Pick a backend that holds some of the uploads, but not all, and kill it at once.
  local -A owner=()
  for n in 0 1 2; do
    local id
    for id in $(backend_uploads "$n" 5201 5212); do owner[$id]=$n; done
  done
  for n in 0 1 2; do
    local held=0
    for i in "${!owner[@]}"; do [[ ${owner[$i]} == "$n" ]] && held=$((held + 1)); done
    if [[ $held -gt 0 && $held -lt 12 ]]; then victim=$n; break; fi
  done
  [[ $victim -ge 0 ]] || { echo "uploads did not spread: ${owner[*]}"; wait "${jobs[@]}"; return 1; }
  kill -KILL "${BACKEND_PIDS[$victim]}"
  wait "${jobs[@]}"
  local failed=0 completed=0
  for i in $(seq 12); do
    local dir=$WORK/k$i status
    status=$(cat "$dir/status")
    if [[ -z ${owner[$((5200 + i))]:-} ]]; then
      # Not started when the backends were asked (a slow machine): it may have gone to
      # either side, but whatever was answered 200 must be intact.
      [[ $status != 200 || -z $(saved_differently "$((5200 + i)):slow$i.bin") ]] || { echo "upload $i damaged"; return 1; }
    elif [[ ${owner[$((5200 + i))]} == "$victim" ]]; then
      # The client learns of it: an error status or a broken transfer, never 200.
      [[ $status != 200 ]] || { echo "upload $i on the killed backend answered 200"; return 1; }
      [[ ! -e $(stored $((5200 + i))) ]] || { echo "upload $i left a file"; return 1; }
      failed=$((failed + 1))
    else
      [[ $status == 200 ]] || { echo "upload $i on a live backend: HTTP $status $(cat "$dir/curl.err")"; return 1; }
      [[ -z $(saved_differently "$((5200 + i)):slow$i.bin") ]] || { echo "upload $i damaged"; return 1; }
      [[ -z $(polls_not_rising "$dir") ]] || { echo "upload $i polls:" $(<"$dir/polls"); return 1; }
      completed=$((completed + 1))
    fi
  done
  echo "killed backend $((victim + 1)): $failed uploads failed, $completed completed"
  [[ $failed -gt 0 && $completed -gt 0 ]] || return 1
  # New uploads, whatever their ID, still succeed on the remaining backends.
  jobs=()
  for i in $(seq 6); do
    upload_with_polls "$WORK/after$i" $((5300 + i)) "$WORK/files/up$i.bin" 4m 1 &
    jobs+=($!)
  done
  wait "${jobs[@]}"
  for i in $(seq 6); do
    [[ $(<"$WORK/after$i/status") == 200 ]] || { echo "upload after the kill: HTTP $(<"$WORK/after$i/status")"; return 1; }
  done
}

check concurrent_uploads_through_nginx concurrent_uploads_through_nginx
check killed_backend_fails_only_its_uploads killed_backend_fails_only_its_uploads
stop_pid "$NGINX_PID" || true
finish
