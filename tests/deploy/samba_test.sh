#!/usr/bin/env bash
# A Macintosh upload saved with streams, seen through Samba: with vfs_fruit over
# streams_xattr the share shows the file's AFP_AfpInfo and AFP_Resource streams to SMB
# clients, and the resource fork read back over SMB is the uploaded one.
# Usage: samba_test.sh FERROLIFT_BINARY SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$@" smbd smbclient perl curl
[[ -e /usr/lib/x86_64-linux-gnu/samba/vfs/fruit.so || -n $(find /usr/lib -name fruit.so -path '*vfs*' 2>/dev/null | head -1) ]] ||
  skip "samba-vfs-modules is missing (without it the share fails with NT_STATUS_BAD_NETWORK_NAME)"

SITE=$WORK/site
make_site "$SITE"
# smbd's guest account reads the share.
chmod -R a+rX "$SITE"
start_serve "$WORK/serve" --root "$SITE" --threads 4
BASE=http://127.0.0.1:$LAST_PORT

# A MacBinary stream as a Macintosh browser sends it: the 128-byte header (name, type,
# creator, Finder flags, fork lengths), the data fork, the resource fork in the
# Resource Manager's layout, each padded to 128 bytes.
perl -e '
  my ($out, $dataOut, $resOut) = @ARGV;
  my $payload = join("", map { chr(($_ * 7 + 3) % 251) } 0 .. 899);
  my $dataLen = 4 + length($payload);
  my ($dataOff, $mapOff, $mapLen) = (256, 256 + $dataLen, 30);
  my $head = pack("N4", $dataOff, $mapOff, $dataLen, $mapLen);
  my $fork = $head . ("\0" x ($dataOff - 16)) . pack("N", length($payload)) . $payload
           . $head . ("\0" x 8) . pack("n2", 28, 30) . "\xff\xff";
  my $data = "The data fork of a Macintosh file.\n" x 40;
  my $header = "\0" . chr(5) . "Notes" . ("\0" x 58) . "TEXTttxt" . "\x01" . ("\0" x 9)
             . pack("N", length($data)) . pack("N", length($fork)) . ("\0" x 10) . "\x20";
  $header .= "\0" x (128 - length($header));
  my $pad = sub { my $s = shift; $s . ("\0" x ((128 - length($s) % 128) % 128)) };
  open(my $f, ">", $out) or die; binmode $f; print $f $header . $pad->($data) . $pad->($fork); close $f;
  open($f, ">", $dataOut) or die; binmode $f; print $f $data; close $f;
  open($f, ">", $resOut) or die; binmode $f; print $f $fork; close $f;
' "$WORK/notes.bin" "$WORK/data.expected" "$WORK/resource.expected" || { echo "cannot build the MacBinary file"; exit 1; }

SMB_PORT=
start_smbd() {
  local state=$WORK/samba
  mkdir -p "$state"/{private,lock,state,cache,pid,ncalrpc}
  for _ in 1 2 3; do
    SMB_PORT=$(pick_port) || return 1
    cat >"$WORK/smb.conf" <<EOF
[global]
  server role = standalone server
  smb ports = $SMB_PORT
  interfaces = 127.0.0.1
  bind interfaces only = yes
  disable netbios = yes
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
  private dir = $state/private
  lock directory = $state/lock
  state directory = $state/state
  cache directory = $state/cache
  pid directory = $state/pid
  ncalrpc dir = $state/ncalrpc
  log file = $state/log.%m
  passdb backend = tdbsam:$state/passdb.tdb
  map to guest = Bad User
  guest account = nobody
  server min protocol = SMB2_10
  fruit:encoding = native
[uploads]
  path = $SITE/uploads
  read only = yes
  guest ok = yes
  ea support = yes
  vfs objects = catia fruit streams_xattr
  fruit:resource = stream
  fruit:metadata = stream
EOF
    # In a session of its own: smbd signals its whole process group when it stops.
    setsid smbd --foreground --no-process-group --configfile="$WORK/smb.conf" --debug-stdout -d1 >"$WORK/smbd.log" 2>&1 &
    SMBD_PID=$!
    PIDS+=("$SMBD_PID")
    wait_for_tcp "$SMB_PORT" && kill -0 "$SMBD_PID" 2>/dev/null && return 0
    kill -KILL "$SMBD_PID" 2>/dev/null
  done
  echo "smbd did not start:"; tail -20 "$WORK/smbd.log"
  return 1
}

smb() {   # smb COMMANDS: smbclient as a guest on the test share
  smbclient -N -p "$SMB_PORT" -s "$WORK/smb.conf" //127.0.0.1/uploads -c "$1"
}

upload_saves_streams() {
  local page
  page=$(curl -sS -F "mac=@$WORK/notes.bin;filename=Notes;type=application/x-macbinary" \
    "$BASE/macsave.asp?name=Notes.txt") || return 1
  grep -q '^macbinary true data 1400 type ' <<<"$page" || { echo "$page" | head -20; return 1; }
  cmp -s "$SITE/uploads/Notes.txt" "$WORK/data.expected" || { echo "data fork differs"; return 1; }
  chmod a+r "$SITE/uploads/Notes.txt"
}

share_lists_the_streams() {
  local info
  info=$(smb 'allinfo Notes.txt') || { echo "$info"; return 1; }
  grep -q 'stream: \[:AFP_AfpInfo:\$DATA\], 60 bytes' <<<"$info" || { echo "$info"; return 1; }
  grep -q "stream: \[:AFP_Resource:\\\$DATA\], $(stat -c %s "$WORK/resource.expected") bytes" <<<"$info" ||
    { echo "$info"; return 1; }
  grep -q 'stream: \[::\$DATA\], 1400 bytes' <<<"$info" || { echo "$info"; return 1; }
}

forks_read_back_over_smb() {
  smb "get Notes.txt:AFP_Resource $WORK/resource.smb; get Notes.txt $WORK/data.smb" >/dev/null || return 1
  cmp "$WORK/resource.smb" "$WORK/resource.expected" || { echo "resource fork differs over SMB"; return 1; }
  cmp "$WORK/data.smb" "$WORK/data.expected" || { echo "data fork differs over SMB"; return 1; }
  # The Finder information carries the Macintosh type and creator where fruit and a Mac
  # client expect them.
  smb "get Notes.txt:AFP_AfpInfo $WORK/info.smb" >/dev/null || return 1
  [[ $(head -c 4 "$WORK/info.smb" | od -An -c | tr -d ' ') == 'AFP\0' ]] || { echo "no AFP signature"; return 1; }
  [[ $(dd if="$WORK/info.smb" bs=1 skip=16 count=8 2>/dev/null) == TEXTttxt ]] || { echo "type/creator lost"; return 1; }
}

check upload_saves_streams upload_saves_streams
if start_smbd; then
  check share_lists_the_streams share_lists_the_streams
  check forks_read_back_over_smb forks_read_back_over_smb
  stop_pid "$SMBD_PID" || true
else
  FAILED=$((FAILED + 1))
fi
stop_pid "$LAST_PID" || { echo "serve did not stop cleanly"; FAILED=$((FAILED + 1)); }
finish
