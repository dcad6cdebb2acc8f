#!/bin/sh
# Captures upload bodies from real clients into ../data/: curl -F, Node's fetch with
# FormData, and headless Chromium submitting a form. Every client posts the same fields:
# two text fields, two files under one name, a file with a non-ASCII name, an empty file.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
OUT="$HERE/../data"
PORT=${PORT:-18763}
WORK=$(mktemp -d)
mkdir -p "$OUT"

python3 "$HERE/sink.py" "$PORT" "$OUT" &
SINK=$!
trap 'kill $SINK 2>/dev/null; rm -rf "$WORK"' EXIT
sleep 1

# curl: the files come from disk, so write them first.
printf 'first file\r\n--not a divider\r\n' > "$WORK/one.txt"
python3 -c 'import sys; sys.stdout.buffer.write(bytes(i % 256 for i in range(300)))' > "$WORK/two.bin"
printf 'r\303\251sum\303\251 text' > "$WORK/résumé 日本.txt"
: > "$WORK/empty"
(cd "$WORK" && curl -s -o /dev/null \
    -F 'title=Holiday photos' \
    -F 'comment=café & crème' \
    -F 'photos=@one.txt;type=text/plain' \
    -F 'photos=@two.bin;type=application/octet-stream' \
    -F 'document=@résumé 日本.txt;type=text/plain' \
    -F 'nothing=@empty;filename=;type=application/octet-stream' \
    "http://127.0.0.1:$PORT/upload/curl")

node "$HERE/node_fetch.mjs" "http://127.0.0.1:$PORT/upload/node" > /dev/null

rm -f "$OUT/chromium.body"
chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$WORK/profile" \
    "http://127.0.0.1:$PORT/form" > /dev/null 2>&1 &
BROWSER=$!
for _ in $(seq 1 100); do
    [ -s "$OUT/chromium.body" ] && break
    sleep 0.2
done
kill $BROWSER 2>/dev/null || true
wait $BROWSER 2>/dev/null || true
ls -l "$OUT"
