# wine_lib.sh: the steps of the Wine suite (sourced by wine_test.sh).
# shellcheck shell=bash

export WINEPREFIX="$FERROLIFT_WINE_WORK/prefix"
export WINEDEBUG=-all
# Headless: no display, no Mono or Gecko installers. comsvcs=n loads the test comsvcs.dll
# that setup put into the prefix instead of Wine's own, whose GetObjectContext is a stub.
export WINEDLLOVERRIDES="mscoree,mshtml=;comsvcs=n"
unset DISPLAY WAYLAND_DISPLAY

passed=0
failed=0

ok() { passed=$((passed + 1)); echo "ok - $*"; }
not_ok() { failed=$((failed + 1)); echo "not ok - $*"; }
# ok_if NAME COMMAND...: runs COMMAND; a failure names its exit status.
ok_if() {
  local name=$1 status=0
  shift
  "$@" || status=$?
  ((status == 0)) && ok "$name" || not_ok "$name (exit status $status)"
}
finish() {
  echo "$passed passed, $failed failed"
  ((failed == 0))
}

wine() { "$FERROLIFT_WINE" "$@"; }
# A Unix path as Wine's Z: drive sees it.
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

wine_setup() {
  wineserver_stop
  rm -rf "$FERROLIFT_WINE_WORK/prefix" "$FERROLIFT_WINE_WORK/site"
  mkdir -p "$FERROLIFT_WINE_WORK/site"
  if ! wine wineboot -i >"$FERROLIFT_WINE_WORK/wineboot.log" 2>&1; then
    cat "$FERROLIFT_WINE_WORK/wineboot.log"
    not_ok "wineboot creates the prefix"
    finish
    return
  fi
  ok "wineboot creates the prefix"
  cp "$FERROLIFT_TEST_COMSVCS" "$WINEPREFIX/drive_c/windows/system32/comsvcs.dll" &&
    ok "test comsvcs.dll in place" || not_ok "test comsvcs.dll in place"
  if wine regsvr32 /s "$(winpath "$FERROLIFT_DLL")"; then
    ok "regsvr32 ferrolift.dll"
  else
    not_ok "regsvr32 ferrolift.dll"
  fi
  finish
}

wineserver_stop() {
  local server
  server=$(dirname "$FERROLIFT_WINE")/wineserver
  [[ -x "$server" && -d "$WINEPREFIX" ]] && "$server" -k 2>/dev/null
  return 0
}

wine_shutdown() {
  wineserver_stop
  ok "wineserver stopped"
  finish
}

check_exports() {
  local names
  names=$("$FERROLIFT_OBJDUMP" -p "$FERROLIFT_DLL" |
    awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^\t\[/ {print $NF; next} on {exit}' | sort | tr '\n' ' ')
  if [[ "$names" == "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]]; then
    ok "exactly the four exports"
  else
    not_ok "exactly the four exports (got: $names)"
  fi
  if "$FERROLIFT_OBJDUMP" -p "$FERROLIFT_DLL" | grep -qi "DLL Name: libstdc++\|DLL Name: libgcc\|DLL Name: libwinpthread"; then
    not_ok "no MinGW runtime DLL needed"
  else
    ok "no MinGW runtime DLL needed"
  fi
  finish
}

# The DLL's type library, message table, event source name and version record, as a
# Windows program reads them.
check_resources() {
  local output status=0
  output=$("$FERROLIFT_WINE" "$(winpath "$FERROLIFT_RESOURCE_CHECK")" "$(winpath "$FERROLIFT_DLL")" 2>&1) || status=$?
  printf '%s\n' "$output" | tr -d '\r'
  if ((status == 0)) && printf '%s\n' "$output" | grep -q '^[0-9]* passed, 0 failed'; then
    ok "resources"
  else
    not_ok "resources (status $status)"
  fi
  finish
}

# The default value (or the named value $3) of key $1 as `reg query` prints it, or
# nothing when the key or value is missing.
reg_value() {
  local key=$1 name=${2:-}
  local out
  if [[ -z "$name" ]]; then
    out=$(wine reg query "$key" /ve 2>/dev/null) || return 1
  else
    out=$(wine reg query "$key" /v "$name" 2>/dev/null) || return 1
  fi
  printf '%s\n' "$out" | tr -d '\r' | awk -F '    ' '/REG_/ {print $NF; exit}'
}

expect_value() {
  local key=$1 name=$2 want=$3 got
  got=$(reg_value "$key" "$name")
  if [[ "$got" == "$want" ]]; then
    ok "$key ${name:-(default)} = $want"
  else
    not_ok "$key ${name:-(default)} = $want (got: $got)"
  fi
}

expect_key() {
  if wine reg query "$1" >/dev/null 2>&1; then ok "$1 exists"; else not_ok "$1 exists"; fi
}

expect_no_key() {
  if wine reg query "$1" >/dev/null 2>&1; then not_ok "$1 is gone"; else ok "$1 is gone"; fi
}

check_registration() {
  local dll classes clsid libid class
  dll=$(winpath "$FERROLIFT_DLL")
  classes=(XForm XField XFields XProgress)
  declare -A clsids
  ok_if "regsvr32" wine regsvr32 /s "$dll"
  for class in "${classes[@]}"; do
    expect_value "HKCR\\Ferrolift4.$class.4" "" "$class Class"
    expect_value "HKCR\\Ferrolift4.$class" "" "$class Class"
    expect_value "HKCR\\Ferrolift4.$class\\CurVer" "" "Ferrolift4.$class.4"
    clsid=$(reg_value "HKCR\\Ferrolift4.$class\\CLSID" "")
    clsids[$class]=$clsid
    expect_value "HKCR\\Ferrolift4.$class.4\\CLSID" "" "$clsid"
    expect_value "HKCR\\CLSID\\$clsid" "" "$class Class"
    expect_value "HKCR\\CLSID\\$clsid\\ProgID" "" "Ferrolift4.$class.4"
    expect_value "HKCR\\CLSID\\$clsid\\VersionIndependentProgID" "" "Ferrolift4.$class"
    expect_key "HKCR\\CLSID\\$clsid\\Programmable"
    expect_value "HKCR\\CLSID\\$clsid\\InprocServer32" "" "$dll"
    expect_value "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel "Both"
    libid=$(reg_value "HKCR\\CLSID\\$clsid\\TypeLib" "")
    [[ "$libid" == \{*\} ]] && ok "$class TypeLib $libid" || not_ok "$class TypeLib (got: $libid)"
  done
  expect_value "HKCR\\TypeLib\\$libid\\4.0" "" "Ferrolift ASP Extension"
  expect_key "HKCR\\TypeLib\\$libid\\4.0\\0"
  expect_value "HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0" ModulePath "$dll"
  expect_key "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Ferrolift"

  ok_if "regsvr32 /u" wine regsvr32 /s /u "$dll"
  for class in "${classes[@]}"; do
    expect_no_key "HKCR\\Ferrolift4.$class.4"
    expect_no_key "HKCR\\Ferrolift4.$class"
    expect_no_key "HKCR\\CLSID\\${clsids[$class]}"
  done
  expect_no_key "HKCR\\TypeLib\\$libid"
  # What registration keeps on purpose: the settings and the event source.
  expect_value "HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0" ModulePath "$dll"
  ok_if "regsvr32 /u again" wine regsvr32 /s /u "$dll"

  # The script tests that follow need the classes.
  ok_if "regsvr32 again" wine regsvr32 /s "$dll"
  finish
}

# Runs a VBScript or JScript test page with cscript. Its arguments: the shared uploads
# folder, a scratch site folder (where MapPath puts virtual paths) and the file for the
# shared table's values. With a page (the default) the test comsvcs.dll hands the form
# files.body as the request body; `nopage` runs it outside any page.
run_script() {
  local mode=page
  if [[ "$1" == nopage ]]; then mode=nopage; shift; fi
  local script=$FERROLIFT_TESTS_DIR/windows/$1 site=$FERROLIFT_WINE_WORK/site
  local values=$FERROLIFT_WINE_WORK/values-$(basename "$1").tsv output status=0
  rm -rf "$site" "$values" && mkdir -p "$site"
  local -a page_env=()
  if [[ $mode == page ]]; then
    page_env=(FERROLIFT_TEST_BODY="$(winpath "$FERROLIFT_TESTS_DIR/common/uploads/files.body")"
              FERROLIFT_TEST_SITE="$(winpath "$site")")
  fi
  output=$(cd "$FERROLIFT_WINE_WORK" && env "${page_env[@]}" "$FERROLIFT_WINE" cscript //nologo "$(winpath "$script")" \
      "$(winpath "$FERROLIFT_TESTS_DIR/common/uploads")" "$(winpath "$site")" "$(winpath "$values")" 2>&1) || status=$?
  printf '%s\n' "$output" | tr -d '\r'
  # The page prints its own "N passed, M failed" line and exits with its failure count.
  # Wine's cscript reports a script error only in a window: no closing line means one.
  if ((status != 0)) || ! printf '%s\n' "$output" | grep -q '^[0-9]* passed, 0 failed'; then
    not_ok "$1 ran to its end without failures (cscript status $status)"
  else
    ok "$1"
  fi
  if [[ -f "$values" ]]; then
    if python3 "$FERROLIFT_TESTS_DIR/windows/compare_values.py" "$FERROLIFT_TESTS_DIR/common/uploads/values.tsv" "$values"; then
      ok "$1: the shared table's values"
    else
      not_ok "$1: the shared table's values"
    fi
  fi
  # Saved files hold exactly the part's bytes: 0 to 255, then 0 to 43.
  local saved
  for saved in "$site"/two*.bin; do
    [[ -e "$saved" ]] || continue
    if python3 -c 'import sys; sys.exit(open(sys.argv[1], "rb").read() != bytes(range(256)) + bytes(range(44)))' "$saved"; then
      ok "$(basename "$saved") holds the part's bytes"
    else
      not_ok "$(basename "$saved") holds the part's bytes"
    fi
  done
  finish
}
