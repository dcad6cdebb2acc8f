#!/usr/bin/env bash
# End-to-end tests of `ferrolift serve` against hostile and unlucky clients: malformed
# heads, slow heads, idle crowds, more uploads than the cap, visitors' uploads that try
# to run, and HTTP/1.0 keep-alive; raw requests go through bash's /dev/tcp.
# Usage: hostile_test.sh FERROLIFT_BINARY SOURCE_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$1" "$2"
ulimit -n 4096 2>/dev/null
start_server --threads 8 --max-uploads 2 --timeout 2

# A page that reads its whole body, as an upload does.
echo '<% var n = Request.TotalBytes; Request.BinaryRead(n); Response.Write("read " + n); %>' >"$SITE/e2e/readall.asp"

# raw TEXT: sends TEXT (printf escapes) on a new connection and prints the answer; fails
# when the server neither answers completely nor closes within 3 seconds.
raw() {
  local fd
  exec {fd}<>"/dev/tcp/127.0.0.1/$PORT" || return 1
  printf '%b' "$1" >&$fd 2>/dev/null
  timeout 3 cat <&$fd
  local status=$?
  exec {fd}>&-
  return $status
}

served() {   # the server still answers a static file and a page quickly
  curl -sS -f -m 2 -o /dev/null "$BASE/style.css" && curl -sS -f -m 3 -o /dev/null "$BASE/"
}

nosniff_everywhere() {
  local path
  for path in / /style.css /e2e/readall.asp /missing.html /inc/layout.inc /uploads; do
    curl -sS -D - -o /dev/null "$BASE$path" | grep -qi '^x-content-type-options: nosniff' ||
      { echo "no nosniff on $path"; return 1; }
  done
  raw 'GET / HTTP/1.1\r\n\r\n' | grep -qi '^x-content-type-options: nosniff' || { echo "no nosniff on 400"; return 1; }
}

malformed_heads() {
  local long big status answer
  long=$(printf 'a%.0s' $(seq 9000))
  big=$(printf 'b%.0s' $(seq 20000))
  while IFS='|' read -r status request; do
    answer=$(raw "$request") || { echo "no complete answer to: ${request:0:60}"; return 1; }
    [[ $answer == "HTTP/1.1 $status "* ]] || { echo "want $status for ${request:0:60}, got: ${answer:0:40}"; return 1; }
  done <<EOF
414|GET /$long HTTP/1.1\r\nHost: x\r\n\r\n
431|GET / HTTP/1.1\r\nHost: x\r\nX-Big: $big\r\n\r\n
400|POST /e2e/readall.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n
400|POST /e2e/readall.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd
400|POST /e2e/readall.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 3x\r\n\r\nabc
411|POST /e2e/readall.asp HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n
400|GET /%00 HTTP/1.1\r\nHost: x\r\n\r\n
EOF
  served
}

chunked_upload_refused() {
  local code
  code=$(curl -sS -o /dev/null -w '%{http_code}' -H 'Transfer-Encoding: chunked' --data-binary 'x=1' "$BASE/e2e/readall.asp")
  [[ $code == 411 ]] || { echo "chunked body answered $code"; return 1; }
}

http10_keep_alive_page_ends() {
  local out
  # Two requests on one kept HTTP/1.0 connection; a page that left it hanging would
  # run into curl's time limit.
  out=$(curl -0 -sS -m 5 -H 'Connection: keep-alive' -o /dev/null -o /dev/null \
    -w '%{http_code} %{num_connects}\n' "$BASE/" "$BASE/e2e/readall.asp") || { echo "curl: $out"; return 1; }
  [[ $out == $'200 1\n200 0' ]] || { echo "got: $out"; return 1; }
}

slow_head_dropped() {
  local fd
  exec {fd}<>"/dev/tcp/127.0.0.1/$PORT" || return 1
  printf 'GET / HTTP/1.1\r\nHost: x\r\n' >&$fd
  served || { exec {fd}>&-; echo "not served during a slow head"; return 1; }
  timeout 8 cat <&$fd >/dev/null
  local status=$?
  exec {fd}>&-
  [[ $status -eq 0 ]] || { echo "the unfinished head was not dropped"; return 1; }
}

idle_crowd() {
  local fds=() fd i
  for i in $(seq 300); do
    exec {fd}<>"/dev/tcp/127.0.0.1/$PORT" || break
    fds+=("$fd")
  done
  [[ ${#fds[@]} -eq 300 ]] || echo "opened only ${#fds[@]}"
  served
  local ok=$?
  for fd in "${fds[@]}"; do exec {fd}>&-; done
  return $ok
}

upload_cap() {
  local a b headers
  exec {a}<>"/dev/tcp/127.0.0.1/$PORT" && exec {b}<>"/dev/tcp/127.0.0.1/$PORT" || return 1
  printf 'POST /e2e/readall.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\nxxxx' >&$a
  printf 'POST /e2e/readall.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\nxxxx' >&$b
  # A body larger than what the loop reads with the head needs an upload thread; a small
  # form that arrived whole does not, and is served while the upload threads are taken.
  head -c 100000 /dev/zero | tr '\0' x >"$WORK/big.txt"
  local i
  for i in $(seq 50); do
    headers=$(curl -sS -D - -o /dev/null --data-binary "@$WORK/big.txt" "$BASE/e2e/readall.asp")
    [[ $headers == *" 503 "* ]] && break
    sleep 0.05
  done
  [[ $headers == *" 503 "* ]] || { echo "third upload not refused: ${headers:0:40}"; exec {a}>&- {b}>&-; return 1; }
  grep -qi '^retry-after: ' <<<"$headers" || { echo "no Retry-After"; exec {a}>&- {b}>&-; return 1; }
  served || { exec {a}>&- {b}>&-; echo "pages stuck behind uploads"; return 1; }
  [[ $(curl -sS --data 'x=1' "$BASE/e2e/readall.asp") == "read 3" ]] ||
    { exec {a}>&- {b}>&-; echo "a small whole form waited for an upload thread"; return 1; }
  exec {a}>&- {b}>&-
  for i in $(seq 50); do
    [[ $(curl -sS --data-binary "@$WORK/big.txt" "$BASE/e2e/readall.asp") == "read 100000" ]] && return 0
    sleep 0.1
  done
  echo "uploads not accepted again"; return 1
}

visitor_uploads_are_downloads() {
  local name headers body
  printf '<%% Response.Write("ran"); %%>' >"$SITE/uploads/evil.asp"
  printf '<svg xmlns="http://www.w3.org/2000/svg"><script>alert(1)</script></svg>' >"$SITE/uploads/evil.svg"
  cp "$SITE/uploads/evil.asp" "$SITE/uploads/Evil.ASP."
  for name in evil.asp evil.svg Evil.ASP.; do
    setfattr -n 'user.DosStream.Zone.Identifier:$DATA' -v '[ZoneTransfer] ZoneId=3' "$SITE/uploads/$name" || return 1
    headers=$(curl -sS -D - -o "$WORK/body" "$BASE/uploads/$name") || return 1
    cmp -s "$WORK/body" "$SITE/uploads/$name" || { echo "$name ran or changed: $(head -c 80 "$WORK/body")"; return 1; }
    grep -qi "^content-disposition: attachment; filename=\"$name\"" <<<"$headers" || { echo "$name: no attachment"; return 1; }
    grep -qi '^content-type: application/octet-stream' <<<"$headers" || { echo "$name: type"; return 1; }
    grep -qi '^content-security-policy: sandbox' <<<"$headers" || { echo "$name: no sandbox"; return 1; }
    grep -qi '^x-content-type-options: nosniff' <<<"$headers" || { echo "$name: no nosniff"; return 1; }
  done
}

stop_keeps_every_access_line() {
  curl -sS -o /dev/null "$BASE/style.css?last-before-stop"
  stop_server || { echo "exit status $?"; return 1; }
  grep -q '"GET /style.css?last-before-stop HTTP/1.1" 200' "$WORK/access.log" || { echo "last line lost"; return 1; }
}

check "nosniff on every response" nosniff_everywhere
check "malformed heads get 414/431/400/411 and end" malformed_heads
check "a chunked upload is refused with 411" chunked_upload_refused
check "HTTP/1.0 keep-alive to a page ends each answer" http10_keep_alive_page_ends
check "a slow head is dropped while others are served" slow_head_dropped
check "300 idle connections hold no worker" idle_crowd
check "uploads beyond the cap get 503 with Retry-After" upload_cap
check "visitors' uploads are downloads that never run" visitor_uploads_are_downloads
check "SIGTERM keeps every access line" stop_keeps_every_access_line
finish
