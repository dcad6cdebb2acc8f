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

# encode_all TEXT: every byte percent-encoded (bash only: probes build many of these).
encode_all() {
  local LC_ALL=C text=$1 i
  for ((i = 0; i < ${#text}; i++)); do printf '%%%02x' "'${text:i:1}"; done
}
# encode_some TEXT: only what a URL path cannot hold as it is.
encode_some() {
  local text=${1//%/%25}
  text=${text// /%20}; text=${text//#/%23}; text=${text//\?/%3F}
  printf '%s' "$text"
}

# url_variants FOLDER NAME: every path under which FOLDER/NAME might be reached.
url_variants() {
  local folder=$1 name=$2 some upper
  some=$(encode_some "$name")
  upper=$(encode_some "${name^^}")
  printf '%s\n' "/$folder/$some" "/$folder/$(encode_all "$name")" "/$folder/$upper" \
    "/$folder/$some." "/$folder/$some%2e" "/$folder/$some;.jpg" "/$folder/$some%3B.jpg" "/$folder/$some%00.jpg" \
    "/$folder/$some%20" "/$folder/$some::\$DATA" "/$folder/./$some" "/$folder/../$folder/$some" \
    "/$folder/x/../$some" "/$folder/x/..%2f$some" "/$folder%2f$some" "//$folder//$some" \
    "/$folder/%2e%2e/$folder/$some" "/${folder//\//%2f}/$some" "/$folder/$some?x=1.jpg"
}

# probe PATH...: fetches every path in one client run (one process, parallel connections),
# and reports each one where an uploaded page ran or a file went out other than as a
# sandboxed download. Leaves "STATUS|...|URL|BODY" lines in $WORK/probed.
probe() {
  local bodies=$WORK/bodies args=() n=0 path body
  rm -rf "$bodies"; mkdir -p "$bodies"
  for path in "$@"; do
    n=$((n + 1))
    args+=(-o "$bodies/$n" "$BASE$path")
  done
  local format='%{http_code}|%header{content-type}|%header{content-disposition}|'
  format+='%header{x-content-type-options}|%header{content-security-policy}|%{url_effective}|%{filename_effective}\n'
  curl -sS -g --path-as-is -m 60 -Z --parallel-max 8 -w "$format" "${args[@]}" >"$WORK/probed" 2>/dev/null
  local -A ran=()
  while read -r body; do [[ -n $body ]] && ran[$body]=1; done < <(grep -lF "$RAN_MARKER" "$bodies"/* 2>/dev/null)
  local failures=0 code type disposition nosniff policy url i=0
  while IFS='|' read -r code type disposition nosniff policy url body; do
    i=$((i + 1))
    path=${url#"$BASE"}
    [[ -n ${ran[$body]:-} ]] && { echo "$path: the uploaded page RAN (status $code)"; failures=1; }
    [[ $nosniff == nosniff ]] || { echo "$path: no nosniff (status $code)"; failures=1; }
    [[ $code == 2* ]] || continue
    [[ $type == text/html* || $type == image/svg* || $type == application/xhtml* ]] &&
      { echo "$path: served inline as $type"; failures=1; }
    [[ $disposition == attachment* ]] || { echo "$path: served without Content-Disposition: attachment"; failures=1; }
    [[ $policy == sandbox* ]] || { echo "$path: served without Content-Security-Policy: sandbox"; failures=1; }
  done <"$WORK/probed"
  [[ $i -eq $# ]] || { echo "only $i of $# paths answered"; failures=1; }
  return $failures
}

# probe_all FOLDER NAME...: probes every variant of every name.
probe_all() {
  local folder=$1 name paths=(); shift
  for name in "$@"; do mapfile -t -O "${#paths[@]}" paths < <(url_variants "$folder" "$name"); done
  probe "${paths[@]}" | sort -u | head -40
  [[ ${PIPESTATUS[0]} -eq 0 ]]
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
  local name kind file type page id=41000 stored
  for name in "${NAMES[@]}"; do
    kind=$(content_for "$name"); file=${kind% *}; type=${kind#* }
    id=$((id + 1))
    page=$(post_file "$BASE/results.asp?ID=$id" "$name" "$file" "$type") || { echo "upload of $name failed"; return 1; }
    stored=$(stored_files "$page" | cut -d' ' -f1)
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
  local name kind file type page
  for name in "${NAMES[@]}"; do
    kind=$(content_for "$name"); file=${kind% *}; type=${kind#* }
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
  # Names the engine may refuse outright (.asa, .inc, dots, odd bytes) need not be
  # reachable; these must be, so that the probes meet the files themselves.
  local name
  for name in shell.asp SHELL.ASP x.html x.svg; do served_intact e2e/drop "$name" || return 1; done
  probe_all e2e/drop "${CARELESS_STORED[@]}" || return 1
}

download_page_sends_attachments() {
  local name code paths=()
  for name in "${SAMPLE_STORED[@]}"; do
    code=$(curl -sS -o /dev/null -w '%{http_code} %{redirect_url}' "$BASE/download.asp?name=$name")
    [[ $code == "302 "*"/uploads/$name" ]] || { echo "download.asp?name=$name answered $code"; return 1; }
    paths+=("/uploads/$name")
  done
  probe "${paths[@]}" || return 1
  [[ $(cut -d'|' -f1 "$WORK/probed" | sort -u) == 200 ]] || { echo "not every stored file was sent"; return 1; }
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
