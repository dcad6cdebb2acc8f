# checks.sh: the pass/fail bookkeeping that the shell test scripts share.
# Source it, call `check NAME COMMAND...` for each case and end with `finish`.
PASSED=0
FAILED=0

check() {   # check NAME COMMAND...: runs the command, counts and reports
  local name=$1; shift
  if "$@"; then
    PASSED=$((PASSED + 1)); echo "PASS $name"
  else
    FAILED=$((FAILED + 1)); echo "FAIL $name"
  fi
}

finish() {
  echo "$PASSED passed, $FAILED failed"
  [[ $FAILED -eq 0 ]]
}

make_file() {   # make_file PATH BYTES: random content
  head -c "$2" /dev/urandom >"$1"
}
