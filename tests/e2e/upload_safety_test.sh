#!/usr/bin/env bash
# Uploaded files are data, never code: hostile file names go through the sample site and
# through a careless page that saves under the client's own name; then every URL under
# which such a file might be reached must neither run it nor show it inline.
# Usage: upload_safety_test.sh FERROLIFT_BINARY SOURCE_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$1" "$2"
mkdir -p "$SITE/e2e/drop"
start_server --threads 16 --timeout 10
skip_unless_component_ready

files=$WORK/files
mkdir -p "$files"
# What an uploaded page would print if it ever ran: the site's physical folder.
RAN_MARKER=$SITE
PAGE_CODE='<% Response.Write(Server.MapPath("/")) %>'
printf '%s\n' "$PAGE_CODE" >"$files/page.txt"
printf '<html><body><script>document.title = "stored script ran"</script>%s</body></html>\n' "$PAGE_CODE" >"$files/page.html"
printf '<svg xmlns="http://www.w3.org/2000/svg"><script>alert(document.domain)</script></svg>\n' >"$files/image.svg"

# The client names, written for printf %b (so a raw NUL byte can be sent), each with the
# file it carries and the part's declared type.
NAMES=('shell.asp' 'SHELL.ASP' 'shell.asp.' 'x.asp;.jpg' 'x.asp%00.jpg' 'y.asp\0.jpg' 'x.asa' 'x.inc'
       '../../x.asp' '..\\..\\w.asp' 'x.html' 'x.svg')
content_for() {
  case $1 in
    *.html) echo "$files/page.html text/html" ;;
    *.svg) echo "$files/image.svg image/svg+xml" ;;
    *) echo "$files/page.txt application/octet-stream" ;;
  esac
}

# post_file URL NAME FILE TYPE: a one-file multipart upload with the file name sent byte
# for byte as given (curl -F would rewrite some of these names); prints the page.
post_file() {
  local body=$WORK/body.bin
  {
    printf -- '--FerroliftSafety\r\nContent-Disposition: form-data; name="file1"; filename="'
    printf '%b' "$2"
    printf '"\r\nContent-Type: %s\r\n\r\n' "$4"
    cat "$3"
    printf '\r\n--FerroliftSafety--\r\n'
  } >"$body"
  curl -sS -m 20 -H 'Content-Type: multipart/form-data; boundary=FerroliftSafety' --data-binary @"$body" "$1"
}

# encode_all TEXT: every byte percent-encoded.
encode_all() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n' | sed 's/\(..\)/%\1/g'; }
# encode_some TEXT: only what a URL path cannot hold as it is.
encode_some() { printf '%s' "$1" | sed 's/%/%25/g; s/ /%20/g; s/#/%23/g; s/?/%3F/g'; }

# url_variants FOLDER NAME: every path under which FOLDER/NAME might be reached.
url_variants() {
  local folder=$1 name=$2 some upper
  some=$(encode_some "$name")
  upper=$(encode_some "$(tr '[:lower:]' '[:upper:]' <<<"$name")")
  printf '%s\n' "/$folder/$some" "/$folder/$(encode_all "$name")" "/$folder/$upper" \
    "/$folder/$some." "/$folder/$some%2e" "/$folder/$some;.jpg" "/$folder/$some%3B.jpg" "/$folder/$some%00.jpg" \
    "/$folder/$some%20" "/$folder/$some::\$DATA" "/$folder/./$some" "/$folder/../$folder/$some" \
    "/$folder/x/../$some" "/$folder/x/..%2f$some" "/$folder%2f$some" "//$folder//$some" \
    "/$folder/%2e%2e/$folder/$some" "/${folder//\//%2f}/$some" "/$folder/$some?x=1.jpg"
}

PROBE_FAILURES=$WORK/probe-failures
: >"$PROBE_FAILURES"

# probe PATH: whatever answers, nothing ran, and a file that is served goes out only as a
# sandboxed download. Prints the status; failures are collected in PROBE_FAILURES.
probe() {
  local path=$1 headers=$WORK/headers body=$WORK/response code
  code=$(curl -sS --path-as-is -m 10 -o "$body" -D "$headers" -w '%{http_code}' "$BASE$path" 2>/dev/null)
  if grep -qF "$RAN_MARKER" "$body"; then
    echo "$path: the uploaded page RAN (status $code)" >>"$PROBE_FAILURES"
  fi
  if ! grep -qi '^X-Content-Type-Options: *nosniff' "$headers"; then
    echo "$path: no nosniff (status $code)" >>"$PROBE_FAILURES"
  fi
  if [[ $code == 2* ]]; then
    grep -qi '^Content-Type: *\(text/html\|image/svg+xml\|application/xhtml\)' "$headers" &&
      echo "$path: served inline as $(grep -i '^Content-Type' "$headers" | tr -d '\r')" >>"$PROBE_FAILURES"
    grep -qi '^Content-Disposition: *attachment' "$headers" ||
      echo "$path: served without Content-Disposition: attachment" >>"$PROBE_FAILURES"
    grep -qi '^Content-Security-Policy: *sandbox' "$headers" ||
      echo "$path: served without Content-Security-Policy: sandbox" >>"$PROBE_FAILURES"
  fi
  echo "$code"
}

# probe_all FOLDER NAME...: probes every variant of every name; fails on any finding.
probe_all() {
  local folder=$1 name path; shift
  : >"$PROBE_FAILURES"
  for name in "$@"; do
    while read -r path; do probe "$path" >/dev/null; done < <(url_variants "$folder" "$name")
  done
  [[ ! -s "$PROBE_FAILURES" ]] || { sort -u "$PROBE_FAILURES" | head -30; return 1; }
}

# served_intact FOLDER NAME: the plain URL of a stored file answers 200 with its bytes, so
# the probes above reached the real file and not only 404s.
served_intact() {
  local code
  code=$(curl -sS -o "$WORK/intact" -w '%{http_code}' --path-as-is "$BASE/$1/$(encode_some "$2")")
  [[ $code == 200 && $(sha "$WORK/intact") == $(sha "$SITE/$1/$2") ]] || { echo "/$1/$2 answered $code"; return 1; }
}

marked() { [[ $(getfattr --only-values -n 'user.DosStream.Zone.Identifier:$DATA' "$1" 2>/dev/null | tr -d '\0\r') == *ZoneId=3* ]]; }

SAMPLE_STORED=()
sample_site_uploads() {
  local name spec file type page id=41000 stored
  for name in "${NAMES[@]}"; do
    spec=$(content_for "$name"); file=${spec% *}; type=${spec#* }
    id=$((id + 1))
    page=$(post_file "$BASE/results.asp?ID=$id" "$name" "$file" "$type") || { echo "upload of $name failed"; return 1; }
    stored=$(stored_files "$page" | awk '{ print $NF }')
    [[ $stored =~ ^$id-[0-9]+\.[a-z0-9]+$ ]] || { echo "$name stored as '$stored'"; return 1; }
    [[ $stored != *.asp && $stored != *.asa && $stored != *.inc && $stored != *.html && $stored != *.svg ]] ||
      { echo "$name kept a code extension: $stored"; return 1; }
    SAMPLE_STORED+=("$stored")
  done
  # The names the client asked for never exist in the site.
  [[ -z $(new_uploads | grep -v '^[0-9]*-[0-9]*\.[a-z0-9]*$') ]] || { new_uploads; return 1; }
}

CARELESS_STORED=()
careless_uploads() {
  local name spec file type page
  for name in "${NAMES[@]}"; do
    spec=$(content_for "$name"); file=${spec% *}; type=${spec#* }
    page=$(post_file "$BASE/e2e/careless.asp" "$name" "$file" "$type") || { echo "upload of $name failed"; return 1; }
    grep -q '^\(saved\|not saved\) ' <<<"$page" || { echo "careless page answered: $page"; return 1; }
  done
  mapfile -t CARELESS_STORED < <(ls -A "$SITE/e2e/drop")
  # The dangerous names did land as they were sent: this is the careless case.
  local expected
  for expected in shell.asp SHELL.ASP x.asa x.inc x.html x.svg; do
    [[ -f "$SITE/e2e/drop/$expected" ]] || { echo "careless page did not store $expected: ${CARELESS_STORED[*]}"; return 1; }
  done
}

every_upload_marked() {
  local file
  for file in "$SITE"/uploads/* "$SITE"/e2e/drop/*; do
    marked "$file" || { echo "$file carries no upload mark"; return 1; }
  done
}

# The check has teeth: an unmarked copy of the same page does run.
site_copy_runs() {
  cp "$SITE/e2e/drop/shell.asp" "$SITE/e2e/site_copy.asp"
  cp "$SITE/e2e/drop/x.inc" "$SITE/e2e/site_copy.inc"
  curl -sS "$BASE/e2e/site_copy.asp" | grep -qF "$RAN_MARKER" || { echo "an unmarked copy did not run"; return 1; }
  curl -sS "$BASE/e2e/include_site_file.asp" | grep -qF "$RAN_MARKER" || { echo "an unmarked include did not run"; return 1; }
}

sample_site_never_runs() {
  local name
  for name in "${SAMPLE_STORED[@]}"; do served_intact uploads "$name" || return 1; done
  probe_all uploads "${SAMPLE_STORED[@]}" || return 1
  # Guessing the client's own names finds nothing that runs either.
  probe_all uploads shell.asp SHELL.ASP x.asa x.inc x.html x.svg .._.._x.asp || return 1
}

careless_never_runs() {
  local name
  for name in "${CARELESS_STORED[@]}"; do served_intact e2e/drop "$name" || return 1; done
  probe_all e2e/drop "${CARELESS_STORED[@]}" || return 1
}

download_page_sends_attachments() {
  local name code
  : >"$PROBE_FAILURES"
  for name in "${SAMPLE_STORED[@]}"; do
    code=$(curl -sS -o /dev/null -w '%{http_code} %{redirect_url}' "$BASE/download.asp?name=$name")
    [[ $code == "302 "*"/uploads/$name" ]] || { echo "download.asp?name=$name answered $code"; return 1; }
    code=$(probe "/uploads/$name")
    [[ $code == 200 ]] || { echo "/uploads/$name answered $code"; return 1; }
  done
  [[ ! -s "$PROBE_FAILURES" ]] || { cat "$PROBE_FAILURES"; return 1; }
}

includes_refused() {
  local page
  for page in include_upload.asp include_upload_virtual.asp; do
    curl -sS -o "$WORK/include" "$BASE/e2e/$page"
    ! grep -qF "$RAN_MARKER" "$WORK/include" || { echo "$page ran an uploaded file"; return 1; }
    ! grep -q 'Server.MapPath' "$WORK/include" || { echo "$page showed an uploaded file's text"; return 1; }
  done
}

server_still_serves() {
  [[ $(curl -sS -o /dev/null -w '%{http_code}' "$BASE/") == 200 ]]
}

check "sample site stores hostile names under names it chooses" sample_site_uploads
check "careless page stores hostile names as sent" careless_uploads
check "every uploaded file carries the upload mark" every_upload_marked
check "unmarked copies of the same files do run (the probe works)" site_copy_runs
check "files stored by the sample site never run or render" sample_site_never_runs
check "files stored by a careless page never run or render" careless_never_runs
check "the download page sends stored files as attachments" download_page_sends_attachments
check "a page cannot include an uploaded file" includes_refused
check "the server still serves" server_still_serves
finish
