#!/usr/bin/env bash
# End-to-end tests of `ferrolift serve` with the sample site, over HTTP with curl.
# Usage: http_test.sh FERROLIFT_BINARY SOURCE_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$1" "$2"
start_server --threads 48 --timeout 10
skip_unless_component_ready

files=$WORK/files
mkdir -p "$files"

multi_file_upload() {
  local name
  make_file "$files/first.bin" 300000
  make_file "$files/second file.dat" 70000
  cp "$SOURCE_DIR/examples/site/style.css" "$files/style.css"
  printf 'GIF89a\x10\x00\x20\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00,\x00\x00\x00\x00\x10\x00\x20\x00\x00\x02\x02D\x01\x00;' >"$files/tiny.gif"
  local page
  page=$(curl -sS -F "file1=@$files/first.bin" -F "file2=@$files/second file.dat" \
    -F "more=@$files/style.css" -F "more=@$files/tiny.gif;type=image/gif" \
    -F "description=Quarterly files" -F "codepage=65001" "$BASE/results.asp") || return 1
  grep -q 'id="field-count">5<' <<<"$page" || { echo "field count wrong"; return 1; }
  grep -q 'Quarterly files' <<<"$page" || { echo "text field missing"; return 1; }
  grep -q '<span class="k">ImageWidth</span><span class="v">16</span>' <<<"$page" || { echo "image width missing"; return 1; }
  grep -q '<span class="k">ImageHeight</span><span class="v">32</span>' <<<"$page" || { echo "image height missing"; return 1; }
  # Every file is stored under a name the server chose, and comes back intact.
  local stored client target count=0
  stored=$(stored_files "$page")
  while read -r target client; do
    [[ $target =~ ^[0-9]+-[0-9]+\.[a-z0-9]+$ ]] || { echo "stored name $target not chosen by the server"; return 1; }
    [[ $(sha "$SITE/uploads/$target") == $(sha "$files/$client") ]] || { echo "$client not saved intact as $target"; return 1; }
    count=$((count + 1))
  done <<<"$stored"
  [[ $count -eq 4 ]] || { echo "saved: $stored"; return 1; }
  grep -q '^[0-9]*-[0-9]*\.css style\.css$' <<<"$stored" || { echo "extension not kept: $stored"; return 1; }
  # The download page hands a stored file out; anything else it refuses.
  target=$(grep ' tiny\.gif$' <<<"$stored" | cut -d' ' -f1)
  [[ $(curl -sS -L "$BASE/download.asp?name=$target" | sha256sum | cut -d' ' -f1) == $(sha "$files/tiny.gif") ]] ||
    { echo "download of $target differs"; return 1; }
  local name code
  for name in ../index.asp "$target/" "x$target" "%2e%2e%2fregistry.reg" "1-1.asp" "1-1.ASP" "" "1-1.jpg%00.asp"; do
    code=$(curl -sS -o /dev/null -w '%{http_code}' "$BASE/download.asp?name=$name")
    [[ $code == 404 ]] || { echo "download.asp?name=$name answered $code"; return 1; }
  done
}

limit_stated() {
  local page
  page=$(curl -sS "$BASE/") || return 1
  grep -q 'id="limit">Up to <b>64.0 MiB</b>' <<<"$page" || { echo "no limit on the form"; return 1; }
  # The stated limit is the one enforced: one byte more is refused.
  make_file "$files/limit.bin" 100
  page=$(curl -sS -H 'Content-Length: 67108865' --data-binary @"$files/limit.bin" -m 10 \
    -H 'Content-Type: multipart/form-data; boundary=x' "$BASE/results.asp" 2>/dev/null)
  grep -q 'Upload size is greater than the maximum allowed' <<<"$page" || { echo "$page" | head -20; return 1; }
}

client_names_escaped() {
  echo "hello" >"$files/plain.txt"
  local page
  page=$(curl -sS -F 'file1=@'"$files/plain.txt"';filename=<img src=x onerror=alert(1)>.html' "$BASE/results.asp") || return 1
  grep -q '&lt;img src=x onerror=alert(1)&gt;.html' <<<"$page" || { echo "client name not shown escaped"; return 1; }
  ! grep -q '<img src=x' <<<"$page" || { echo "client name written as markup"; return 1; }
  stored_files "$page" | grep -q '^[0-9]*-[0-9]*\.bin ' || { echo "markup extension kept"; return 1; }
}

urlencoded_fallback() {
  local page
  page=$(curl -sS --data "description=caf%C3%A9+au+lait&codepage=65001" "$BASE/results.asp") || return 1
  grep -q '<b>no</b>' <<<"$page" || { echo "reported as multipart"; return 1; }
  grep -q '<span class="k">Content</span><span class="v">café au lait</span>' <<<"$page" || { echo "value not decoded"; echo "$page" | head -40; return 1; }
}

max_upload_refused() {
  make_file "$files/big.bin" 5000
  local page before
  before=$(new_uploads | wc -l)
  page=$(curl -sS -F "file1=@$files/big.bin" "$BASE/results.asp?max=1000") || return 1
  grep -q 'Upload size is greater than the maximum allowed' <<<"$page" || { echo "$page" | head -30; return 1; }
  [[ $(new_uploads | wc -l) -eq $before ]] || { echo "a refused upload left a file"; return 1; }
}

client_abort() {
  make_file "$files/aborted.bin" 30000000
  local i id
  # More aborted uploads than a small pool has workers: none may stay stuck.
  for i in 1 2 3 4 5 6; do
    id=$((7000 + i))
    curl -sS -o /dev/null --limit-rate 2M -m 1 -F "file1=@$files/aborted.bin" \
      "$BASE/results.asp?ID=$id&max=100000000" 2>/dev/null
  done
  sleep 0.5
  [[ -z $(new_uploads | grep '^700[0-9]-') ]] || { echo "partial file left"; return 1; }
  local note
  note=$(curl -sS "$BASE/progress.asp?ID=$id")
  grep -q 'Upload stopped unexpectedly' <<<"$note" || { echo "progress note: $note"; return 1; }
  curl -sS -f -o /dev/null "$BASE/" || { echo "next request not served"; return 1; }
}

mappath_escapes() {
  local page
  page=$(curl -sS "$BASE/e2e/mappath.asp") || return 1
  [[ $(grep -c '^refused 80004005$' <<<"$page") -eq 5 ]] || { echo "$page"; return 1; }
  echo "secret" >"$files/escape.txt"
  page=$(curl -sS -F "file=@$files/escape.txt" "$BASE/e2e/mappath.asp?target=../../../outside-$$.txt") || return 1
  grep -q 'save refused: Unable to convert virtual to physical path' <<<"$page" || { echo "$page"; return 1; }
  [[ ! -e "$WORK/outside-$$.txt" && ! -e "/tmp/outside-$$.txt" ]] || return 1
  local code
  for path in "/../../etc/passwd" "/%2e%2e/%2e%2e/etc/passwd" "/inc/layout.inc" "/uploads/../../registry.reg"; do
    code=$(curl -sS -o /dev/null -w '%{http_code}' --path-as-is "$BASE$path")
    [[ $code == 404 ]] || { echo "$path answered $code"; return 1; }
  done
}

uncaught_errors() {
  local page code
  page=$(curl -sS -w '\n%{http_code}' --data-binary "0123456789abcdef" -H 'Content-Type: application/octet-stream' \
    "$BASE/e2e/uncaught.asp") || return 1
  code=$(tail -n1 <<<"$page")
  [[ $code == 500 ]] || { echo "status $code"; return 1; }
  grep -q "Ferrolift4.XForm.4 error '80004005'" <<<"$page" || { echo "$page"; return 1; }
  grep -q 'Upload size is greater than the maximum allowed' <<<"$page" || return 1
  grep -q '/e2e/uncaught.asp, line 5' <<<"$page" || { echo "$page"; return 1; }
  page=$(curl -sS "$BASE/e2e/scripterror.asp")
  grep -q "error '800a01b6'" <<<"$page" && grep -q '/e2e/scripterror.asp, line 3' <<<"$page" || { echo "$page"; return 1; }
}

concurrent_uploads() {
  local i pids=() polls=$WORK/polls
  mkdir -p "$files/many" "$polls"
  for i in $(seq 1 32); do make_file "$files/many/part$i.bin" $((500000 + i * 1000)); done
  for i in $(seq 1 32); do
    curl -sS -o "$WORK/result$i.html" --limit-rate 1M -F "file1=@$files/many/part$i.bin" \
      "$BASE/results.asp?ID=$((9000 + i))" &
    pids+=($!)
  done
  # Poll every upload's progress while they run.
  local round
  for round in 1 2 3 4 5; do
    for i in $(seq 1 32); do curl -sS "$BASE/progress.asp?ID=$((9000 + i))" >>"$polls/$i.json"; echo >>"$polls/$i.json"; done
  done
  local status=0
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
  [[ $status -eq 0 ]] || { echo "an upload failed"; return 1; }
  for i in $(seq 1 32); do
    [[ $(sha "$SITE/uploads/$((9000 + i))-1.bin") == $(sha "$files/many/part$i.bin") ]] || { echo "part$i differs"; return 1; }
    grep -q '"percent":' "$polls/$i.json" || { echo "no progress for $i"; return 1; }
    local final
    final=$(curl -sS "$BASE/progress.asp?ID=$((9000 + i))")
    grep -q '"percent":100' <<<"$final" || { echo "final progress $final"; return 1; }
  done
}

access_log_lines() {
  local served
  served=$(grep -c '" [0-9][0-9][0-9] ' "$WORK/access.log")
  [[ $served -ge 100 ]] || { echo "only $served access lines"; return 1; }
  grep -q '"POST /results.asp?ID=9001 HTTP/1.1" 200' "$WORK/access.log"
}

stops_on_sigterm() {
  stop_server || { echo "exit status $?"; return 1; }
}

check "multi-file upload saves every file intact" multi_file_upload
check "the upload form states the limit the site enforces" limit_stated
check "client file names appear only as escaped text" client_names_escaped
check "URL-encoded fallback" urlencoded_fallback
check "MaxUploadSize refusal shows the component's message" max_upload_refused
check "client abort leaves no file and no stuck worker" client_abort
check "MapPath escapes refused" mappath_escapes
check "uncaught failures answer 500 with number and description" uncaught_errors
check "32 concurrent uploads with progress polling" concurrent_uploads
check "one access line per request" access_log_lines
check "SIGTERM stops the server cleanly" stops_on_sigterm
finish
