#!/usr/bin/env bash
# Faults around an upload: full or unwritable folders, clients that vanish, a server that
# is killed, and many uploads at once. After each, nothing is lost silently, nothing is
# left behind, and the server keeps serving.
# Usage: fault_test.sh FERROLIFT_BINARY SOURCE_DIR GROUP [ROUNDS]
#   GROUP "storage": full and unwritable folders (root only: they mount small tmpfs)
#   GROUP "crash":   client abort, kill -9 of the server, a missing temporary folder
#   GROUP "load":    32 concurrent uploads with progress polling, ROUNDS times (20)
set -uo pipefail
GROUP=${3:?group: storage, crash or load}
ROUNDS=${4:-20}
if [[ $GROUP == storage && $EUID -ne 0 ]]; then
  echo "SKIP: mounting the small tmpfs folders these cases need takes root"
  exit 77
fi
source "$(dirname "$0")/lib.sh" "$1" "$2"
files=$WORK/files
mkdir -p "$files"

MOUNTS=()
mount_tmpfs() {   # mount_tmpfs FOLDER SIZE [OPTIONS]
  mkdir -p "$1"
  mount -t tmpfs -o "size=$2${3:+,$3}" tmpfs "$1" || return 1
  MOUNTS+=("$1")
}
umount_tmpfs() {   # umount_tmpfs FOLDER: the server must not hold files in it
  umount "$1" || return 1
  local m kept=()
  for m in "${MOUNTS[@]}"; do [[ $m == "$1" ]] || kept+=("$m"); done
  MOUNTS=("${kept[@]}")
}
fault_cleanup() {
  if [[ -n "$SERVER_PID" ]]; then kill -KILL "$SERVER_PID" 2>/dev/null; wait "$SERVER_PID" 2>/dev/null; SERVER_PID=; fi
  local m
  for m in "${MOUNTS[@]}"; do umount "$m" 2>/dev/null || umount -l "$m"; done
  cleanup
}
trap fault_cleanup EXIT

# serve_with_tmpdir DIR: (re)starts the server with DIR as its temporary folder.
serve_with_tmpdir() {
  stop_server >/dev/null 2>&1
  TMPDIR=$1 start_server --threads 48 --timeout 10
}

# open_in DIR: the files of DIR that the server holds open (a read cache is unlinked at
# once, so it shows only here, as "(deleted)").
open_in() { ls -l "/proc/$SERVER_PID/fd" 2>/dev/null | grep -F -- "$1/" || true; }

# settled DIR: waits until the server holds nothing open in DIR and DIR is empty.
settled() {
  local _
  for _ in $(seq 100); do
    [[ -z $(open_in "$1") && -z $(ls -A "$1") ]] && return 0
    sleep 0.1
  done
  echo "left behind in $1:"; ls -lA "$1"; open_in "$1"
  return 1
}

# upload_page FILE ID [CURL OPTIONS...]: the results page for a one-file upload.
upload_page() {
  local file=$1 id=$2; shift 2
  curl -sS -m 30 "$@" -F "file1=@$file" "$BASE/results.asp?ID=$id"
}

# saved_intact PAGE FILE: the page reports FILE saved and the stored copy matches it.
saved_intact() {
  local stored
  stored=$(stored_files "$1" | cut -d' ' -f1)
  [[ -n $stored && -f "$SITE/uploads/$stored" ]] || { echo "not saved:"; grep -o 'not saved[^<]*' <<<"$1"; return 1; }
  [[ $(sha "$SITE/uploads/$stored") == $(sha "$2") ]] || { echo "$stored differs from $2"; return 1; }
}

# refused_clearly PAGE: the page shows the component's failure, with a message.
refused_clearly() {
  grep -q '<h1>Upload refused</h1>' <<<"$1" && grep -q '<p class="message">[^<]' <<<"$1" && return 0
  echo "no clear failure page:"; head -c 2000 <<<"$1"; return 1
}

serves() {
  [[ $(curl -sS -m 10 -o /dev/null -w '%{http_code}' "$BASE/") == 200 ]] || { echo "the server stopped serving"; return 1; }
}

# progress_of ID: the progress page's JSON for ID.
progress_of() { curl -sS -m 10 "$BASE/progress.asp?ID=$1"; }

# --- storage: folders that are full or cannot be written -----------------------------

read_cache_full() {
  local tmp=$WORK/cache-full page before
  mount_tmpfs "$tmp" 1m || return 1
  serve_with_tmpdir "$tmp"
  make_file "$files/big.bin" 3000000
  before=$(new_uploads | wc -l)
  page=$(upload_page "$files/big.bin" 1101) || { echo "no answer"; return 1; }
  refused_clearly "$page" || return 1
  [[ $(new_uploads | wc -l) -eq $before ]] || { echo "a refused upload left a file"; return 1; }
  settled "$tmp" || return 1
  # Once the upload has failed its space is free again: a small one goes through.
  make_file "$files/small.bin" 200000
  page=$(upload_page "$files/small.bin" 1102) && saved_intact "$page" "$files/small.bin" || return 1
  settled "$tmp" && serves
}

save_target_full() {
  mount_tmpfs "$SITE/uploads" 1m || return 1
  serve_with_tmpdir "$WORK/tmp-save"
  make_file "$files/big.bin" 3000000
  local page
  page=$(upload_page "$files/big.bin" 1201) || { echo "no answer"; return 1; }
  grep -q 'class="prop wide not-saved"><span class="k">Saved</span><span class="v">not saved: [^<]' <<<"$page" ||
    { echo "the failed save is not reported:"; grep -o 'Saved</span>.\{0,200\}' <<<"$page"; return 1; }
  grep -q 'not saved:.*\(space\|disk\|full\)' <<<"$page" || { echo "unclear reason: $(grep -o 'not saved[^<]*' <<<"$page")"; return 1; }
  ! grep -q 'download\.asp?name=' <<<"$page" || { echo "the failed file is offered for download"; return 1; }
  settled "$WORK/tmp-save" || return 1
  # Whatever the failed save wrote must not pass for the file.
  local stored
  for stored in $(new_uploads); do
    [[ $(sha "$SITE/uploads/$stored") != $(sha "$files/big.bin") ]] || { echo "unexpected $stored"; return 1; }
  done
  [[ -z $(new_uploads) ]] || echo "note: the failed save left a truncated $(new_uploads | tr "\n" " ")"
  rm -f "$SITE"/uploads/1201-*
  make_file "$files/small.bin" 200000
  page=$(upload_page "$files/small.bin" 1202) && saved_intact "$page" "$files/small.bin" || return 1
  serves || return 1
  stop_server
  umount_tmpfs "$SITE/uploads"
}

read_only_tmpdir() {
  local tmp=$WORK/read-only page
  mount_tmpfs "$tmp" 1m ro || return 1
  serve_with_tmpdir "$tmp"
  # No read cache can be made: the body is read into memory and the upload still works.
  make_file "$files/mem.bin" 2500000
  page=$(upload_page "$files/mem.bin" 1301) || { echo "no answer"; return 1; }
  saved_intact "$page" "$files/mem.bin" && serves
}

# --- crash: clients and servers that vanish ------------------------------------------

missing_tmpdir() {
  serve_with_tmpdir "$WORK/no-such-folder"
  make_file "$files/mem.bin" 1500000
  local page
  page=$(upload_page "$files/mem.bin" 2101) || { echo "no answer"; return 1; }
  saved_intact "$page" "$files/mem.bin" && serves
}

client_abort_mid_body() {
  local tmp=$WORK/tmp-abort
  mkdir -p "$tmp"
  serve_with_tmpdir "$tmp"
  make_file "$files/abort.bin" 20000000
  local i
  for i in 1 2 3 4; do
    curl -sS -o /dev/null --limit-rate 4M -m 1 -F "file1=@$files/abort.bin" "$BASE/results.asp?ID=220$i" 2>/dev/null
  done
  settled "$tmp" || return 1
  [[ -z $(new_uploads | grep '^220[0-9]-') ]] || { echo "a partial upload was stored"; return 1; }
  grep -q 'Upload stopped unexpectedly' <<<"$(progress_of 2204)" || { echo "progress: $(progress_of 2204)"; return 1; }
  make_file "$files/after.bin" 300000
  local page
  page=$(upload_page "$files/after.bin" 2205) && saved_intact "$page" "$files/after.bin" || return 1
  settled "$tmp" && serves
}

killed_mid_upload() {
  local tmp=$WORK/tmp-kill _ client
  mkdir -p "$tmp"
  serve_with_tmpdir "$tmp"
  make_file "$files/kill.bin" 20000000
  curl -sS -o /dev/null --limit-rate 2M -m 20 -F "file1=@$files/kill.bin" "$BASE/results.asp?ID=2301" 2>/dev/null &
  client=$!
  # Wait until the body is arriving into the read cache.
  for _ in $(seq 100); do
    [[ -n $(open_in "$tmp") ]] && grep -q '"bytesDone":[1-9]' <<<"$(progress_of 2301)" && break
    sleep 0.1
  done
  [[ -n $(open_in "$tmp") ]] || { echo "the upload never reached the read cache"; kill "$client"; return 1; }
  kill -KILL "$SERVER_PID"
  wait "$SERVER_PID" 2>/dev/null
  SERVER_PID=
  wait "$client"
  [[ -z $(ls -A "$tmp") ]] || { echo "left in TMPDIR:"; ls -lA "$tmp"; return 1; }
  [[ -z $(new_uploads | grep '^2301-') ]] || { echo "a partial upload was stored"; return 1; }
  serve_with_tmpdir "$tmp"
  make_file "$files/after.bin" 300000
  local page
  page=$(upload_page "$files/after.bin" 2302) && saved_intact "$page" "$files/after.bin" || return 1
  settled "$tmp" && serves
}

# --- load: many uploads at once, watched by progress polls ---------------------------

# One round: 32 uploads of different parts at once (one client process runs them all in
# parallel) while a poller sweeps all their progress IDs; then each stored file must match
# its part, and each ID's percentages must never fall and must end at 100.
load_round() {
  local round=$1 i part id
  local base=$((3000 + round * 100)) polls=$WORK/polls-$round sums=$WORK/sums-$round
  local args=(-sS -Z --parallel-max 32 --parallel-immediate) urls=()
  : >"$sums"
  for i in $(seq 1 32); do
    part=$(( (i + round) % 32 + 1 ))
    id=$((base + i))
    ((i > 1)) && args+=(--next)
    args+=(-sS -m 50 --limit-rate 150k -o "$WORK/load-$id.html" -F "file1=@$files/load/part$part.bin"
           "$BASE/results.asp?ID=$id")
    urls+=("$BASE/progress.asp?ID=$id")
    echo "${PART_SUMS[$part]}  $SITE/uploads/$id-1.bin" >>"$sums"
  done
  curl "${args[@]}" 2>"$WORK/uploads.err" &
  local uploads=$!
  : >"$polls"
  while kill -0 "$uploads" 2>/dev/null; do
    curl -sS -m 10 -Z -w '\n' "${urls[@]}" >>"$polls" 2>/dev/null
  done
  wait "$uploads" || { echo "round $round: an upload failed:"; grep -v '^[-0-9 D]' "$WORK/uploads.err"; return 1; }
  curl -sS -m 10 -Z -w '\n' "${urls[@]}" >>"$polls" 2>/dev/null
  sha256sum --quiet -c "$sums" || { echo "round $round: a stored file does not match its part"; return 1; }
  # Per ID, in poll order: the percentages never fall and the last is 100.
  local verdict
  verdict=$(sed -n 's/.*"id":\([0-9]*\),.*"percent":\([0-9]*\),.*/\1 \2/p' "$polls" | awk -v first=$((base + 1)) '
    { if ($1 in last && $2 < last[$1]) bad = bad " " $1 ":" last[$1] "->" $2; last[$1] = $2; seen[$1]++ }
    END {
      for (id = first; id < first + 32; id++) {
        if (!(id in last)) bad = bad " " id ":never-polled";
        else if (last[id] != 100) bad = bad " " id ":ended-at-" last[id];
      }
      print bad == "" ? "ok" : bad
    }')
  [[ $verdict == ok ]] || { echo "round $round: progress:$verdict"; return 1; }
  # Count the rounds whose polls saw uploads in flight, not only finished ones.
  grep -q '"percent":[1-9][0-9]\?,' "$polls" && IN_FLIGHT_ROUNDS=$((IN_FLIGHT_ROUNDS + 1))
  rm -f $(cut -d' ' -f3- "$sums") "$WORK"/load-*.html
}

declare -A PART_SUMS
IN_FLIGHT_ROUNDS=0
concurrent_rounds() {
  mkdir -p "$files/load"
  local i round sum file
  for i in $(seq 1 32); do make_file "$files/load/part$i.bin" $((100000 + i * 3001)); done
  while read -r sum file; do
    file=${file##*/part}; PART_SUMS[${file%.bin}]=$sum
  done < <(sha256sum "$files"/load/part*.bin)
  mkdir -p "$WORK/tmp-load"
  serve_with_tmpdir "$WORK/tmp-load"
  for round in $(seq 1 "$ROUNDS"); do load_round "$round" || return 1; done
  [[ $IN_FLIGHT_ROUNDS -gt 0 ]] || { echo "no poll ever saw an upload in flight"; return 1; }
  echo "rounds whose polls saw uploads in flight: $IN_FLIGHT_ROUNDS of $ROUNDS"
  settled "$WORK/tmp-load" && serves
}

mkdir -p "$WORK/tmp-save"
case $GROUP in
  storage)
    check "read cache folder full: clear refusal, space returned" read_cache_full
    check "save target full: clear failure, no file passes for the upload" save_target_full
    check "read-only TMPDIR: the upload is read into memory" read_only_tmpdir
    ;;
  crash)
    check "missing TMPDIR: the upload is read into memory" missing_tmpdir
    check "client abort mid-body: nothing stored, nothing left open" client_abort_mid_body
    check "kill -9 mid-upload: no temporary file remains, restart serves" killed_mid_upload
    ;;
  load)
    check "32 concurrent uploads x $ROUNDS rounds: intact files, monotonic progress to 100" concurrent_rounds
    ;;
  *) echo "unknown group $GROUP"; exit 2 ;;
esac
finish
