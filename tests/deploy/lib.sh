# Shared by the deployment tests: skipping where they cannot run, a work folder, the
# processes they start (stopped on exit, by their own ids), and PASS/FAIL counting.
# Usage: source lib.sh FERROLIFT_BINARY SOURCE_DIR BUILD_DIR COMMAND...
#   (the commands the test needs; a missing one skips it)

FERROLIFT=$1
SOURCE_DIR=$2
BUILD_DIR=$3
shift 3
source "$(dirname "${BASH_SOURCE[0]}")/../common/checks.sh"
PIDS=()
CLEANUPS=()

skip() { echo "SKIP: $*"; exit 77; }

[[ ${FERROLIFT_SANITIZED:-0} == 1 ]] && skip "deployment tests run in the default build only (this one is sanitized)"
[[ $(id -u) -eq 0 ]] || skip "deployment tests need root (packages, accounts, daemons)"
for theCommand in "$@"; do
  command -v "$theCommand" >/dev/null 2>&1 || PATH=$PATH:/usr/sbin:/sbin command -v "$theCommand" >/dev/null 2>&1 ||
    skip "$theCommand is missing (scripts/deps.sh --deploy installs it)"
done
export PATH=$PATH:/usr/sbin:/sbin

WORK=$(mktemp -d /tmp/ferrolift-deploy.XXXXXX)
# Daemons that drop privileges (nginx workers, smbd guests) must reach into it.
chmod 0755 "$WORK"
export FERROLIFT_REGISTRY=$WORK/registry.reg
export FERROLIFT_EVENTLOG=$WORK/events.log

cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  local step
  for step in "${CLEANUPS[@]}"; do eval "$step"; done
  # FERROLIFT_KEEP_WORK=1 keeps the logs and files for a look after a failure.
  [[ -n ${FERROLIFT_KEEP_WORK:-} ]] && echo "kept $WORK" || rm -rf "$WORK"
}
trap cleanup EXIT

sha() { sha256sum "$1" | cut -d' ' -f1; }

# A private copy of the sample site plus this folder's test pages.
make_site() {   # make_site DIR
  cp -r "$SOURCE_DIR/examples/site" "$1"
  rm -f "$1"/uploads/*
  cp "$SOURCE_DIR"/tests/deploy/site/*.asp "$1/"
}

# Starts `ferrolift serve` on a free loopback port; sets LAST_PID and LAST_PORT.
# start_serve LOG_PREFIX ARGS...
start_serve() {
  local log=$1; shift
  "$FERROLIFT" serve --listen 127.0.0.1:0 "$@" >"$log.access" 2>"$log.errors" &
  LAST_PID=$!
  PIDS+=("$LAST_PID")
  LAST_PORT=$(wait_for_port "$log.errors" "$LAST_PID") || { echo "serve did not start:"; cat "$log.errors"; exit 1; }
}

wait_for_port() {   # wait_for_port ERRORS_FILE PID: prints the port serve announced
  local port
  for _ in $(seq 150); do
    port=$(sed -n 's/.*(port \([0-9]*\)).*/\1/p' "$1")
    [[ -n "$port" ]] && { echo "$port"; return 0; }
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

wait_for_tcp() {   # wait_for_tcp PORT: until something accepts on 127.0.0.1:PORT
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# A port nothing listens on now (another process may still take it before us, so
# callers retry on a bind failure).
pick_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 30000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return 0; }
  done
  return 1
}

stop_pid() {   # stop_pid PID: SIGTERM, wait; returns its exit status
  local status=0
  kill -TERM "$1" 2>/dev/null
  wait "$1" || status=$?
  local kept=() pid
  for pid in "${PIDS[@]}"; do [[ $pid != "$1" ]] && kept+=("$pid"); done
  PIDS=("${kept[@]}")
  return $status
}
