#!/usr/bin/env bash
# A 2.5 GiB upload to a page that allows the largest MaxUploadSize: the body is larger
# than a form's 32-bit length can describe, so the first member that reads the upload
# fails with a clear error, nothing is saved, and the client gets an answer at once
# instead of a silently shortened upload. The body is made on the fly and never stored.
# Usage: oversized_upload_test.sh FERROLIFT_BINARY SOURCE_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$1" "$2"
start_server --threads 4 --timeout 10
skip_unless_component_ready

cat >"$SITE/e2e/oversized.asp" <<'PAGE'
<%@ LANGUAGE="JScript" %>
<%
Server.ScriptTimeout = 120;
var form = Server.CreateObject("Ferrolift4.XForm");
form.MaxUploadSize = 2147483647;
var count = form.Count;
form("big")(1).Save("/uploads/big.bin");
Response.Write("saved " + count + " fields");
%>
PAGE

# Sends a multipart body of $2 bytes (a text field, then one file of zeros) to port $1,
# reading the answer meanwhile; stops sending once the answer is complete. Prints the
# answer, then a last line "seconds N bytes-sent M". Gives up after 50 seconds.
send_oversized() {
  python3 - "$1" "$2" <<'CLIENT'
import socket, sys, threading, time

port, total = int(sys.argv[1]), int(sys.argv[2])
boundary = "----ferrolift-oversized"
head = ("--%s\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n"
        "--%s\r\nContent-Disposition: form-data; name=\"big\"; filename=\"big.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" % (boundary, boundary)).encode()
tail = ("\r\n--%s--\r\n" % boundary).encode()
request = ("POST /e2e/oversized.asp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
           "Content-Type: multipart/form-data; boundary=%s\r\nContent-Length: %d\r\n\r\n"
           % (boundary, total)).encode()

started = time.monotonic()
deadline = started + 50
sock = socket.create_connection(("127.0.0.1", port))
sock.settimeout(5)
answer = bytearray()
done = threading.Event()

def complete(data):
    end = data.find(b"\r\n\r\n")
    if end < 0:
        return False
    for line in data[:end].split(b"\r\n"):
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            return len(data) - end - 4 >= int(value)
    return False

def read():
    while time.monotonic() < deadline and not done.is_set():
        try:
            chunk = sock.recv(65536)
        except socket.timeout:
            continue
        except OSError:
            break
        if not chunk:
            break
        answer.extend(chunk)
        if complete(answer):
            break
    done.set()

reader = threading.Thread(target=read)
reader.start()
sent = 0
zeros = bytes(1 << 20)
try:
    sock.sendall(request + head)
    left = total - len(head) - len(tail)
    while left > 0 and not done.is_set() and time.monotonic() < deadline:
        piece = zeros if left >= len(zeros) else zeros[:left]
        sock.sendall(piece)
        sent += len(piece)
        left -= len(piece)
    if left == 0 and not done.is_set():
        sock.sendall(tail)
except OSError:
    pass   # the server closed the connection: the rest of the body is not wanted
reader.join(max(0.0, deadline - time.monotonic()))
done.set()
sock.close()
sys.stdout.write(answer.decode("utf-8", "replace"))
sys.stdout.write("\nseconds %.1f bytes-sent %d\n" % (time.monotonic() - started, sent))
CLIENT
}

refused_with_a_clear_error() {
  local answer
  answer=$(send_oversized "$PORT" $((2684354560))) || return 1
  echo "$answer" | tail -n 1
  echo "$answer" | grep -m 3 -E "^HTTP|Upload size"
  grep -q '^HTTP/1\.[01] 500' <<<"$answer" || { echo "no 500 answer:"; head -c 2000 <<<"$answer"; return 1; }
  grep -q 'Upload size is greater than the maximum allowed' <<<"$answer" ||
    { echo "error text missing:"; head -c 2000 <<<"$answer"; return 1; }
  grep -q '2147483647 bytes' <<<"$answer" || { echo "the form's limit is not named"; return 1; }
  grep -q 'oversized.asp' <<<"$answer" || { echo "the failing page is not named"; return 1; }
  ! grep -q 'saved [0-9]* fields' <<<"$answer" || { echo "the page went on after the failure"; return 1; }
  [[ ! -e "$SITE/uploads/big.bin" ]] || { echo "something was saved"; return 1; }
}

server_still_serves() {
  curl -sS -o /dev/null -w '%{http_code}' "$BASE/" | grep -q 200
}

check refused_with_a_clear_error refused_with_a_clear_error
check server_still_serves server_still_serves
stop_server || true
finish
