#!/usr/bin/env bash
# The Debian package end to end: built with cpack from this build, installed with dpkg
# (account, system registry, site copy, units), the installed program run with the
# service's own command line as the service account, then removed: the program goes,
# the visitors' uploads, the settings and the logs stay.
# Usage: package_test.sh FERROLIFT_BINARY SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$@" cpack dpkg dpkg-deb dpkg-shlibdeps systemd-analyze setpriv curl

if dpkg-query -W -f='${Status}' ferrolift 2>/dev/null | grep -q 'install ok installed'; then
  skip "a ferrolift package is installed on this machine; this test does not touch it"
fi

STATE=/var/lib/ferrolift
LOG=/var/log/ferrolift
REGISTRY=$STATE/registry.reg
EVENTLOG=$LOG/eventlog.jsonl
SETTINGS='HKLM\SOFTWARE\Tallowmere\Ferrolift\4.0'

# Leave the machine as it was: what the test creates goes, what was there comes back.
[[ -e $STATE ]] && HAD_STATE=1 || HAD_STATE=0
[[ -e $STATE/site ]] && HAD_SITE=1 || HAD_SITE=0
[[ -e $LOG ]] && HAD_LOG=1 || HAD_LOG=0
getent passwd ferrolift >/dev/null && HAD_ACCOUNT=1 || HAD_ACCOUNT=0
mkdir -p "$WORK/saved"
[[ -e $REGISTRY ]] && cp -p "$REGISTRY" "$WORK/saved/registry.reg"
[[ -e /etc/pam.d/ferrolift ]] && cp -p /etc/pam.d/ferrolift "$WORK/saved/pam"
restore_machine() {
  DEBIAN_FRONTEND=noninteractive dpkg -P ferrolift >/dev/null 2>&1
  ((HAD_SITE)) || rm -rf "$STATE/site"
  ((HAD_STATE)) || rm -rf "$STATE"
  ((HAD_LOG)) || rm -rf "$LOG"
  [[ -e $WORK/saved/registry.reg ]] && cp -p "$WORK/saved/registry.reg" "$REGISTRY"
  [[ -e $WORK/saved/pam ]] && cp -p "$WORK/saved/pam" /etc/pam.d/ferrolift
  ((HAD_ACCOUNT)) || { userdel ferrolift 2>/dev/null; groupdel ferrolift 2>/dev/null; }
}
CLEANUPS+=(restore_machine)

DEB=
package_builds() {
  cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$WORK/package" >"$WORK/cpack.log" 2>&1 ||
    { tail -30 "$WORK/cpack.log"; return 1; }
  local version
  version=$(sed -n 's/^project(Ferrolift VERSION \([0-9.]*\).*/\1/p' "$SOURCE_DIR/CMakeLists.txt")
  DEB=$WORK/package/ferrolift_${version}_amd64.deb
  [[ -f $DEB ]] || { echo "no $DEB:"; ls "$WORK/package"; return 1; }
  local depends
  depends=$(dpkg-deb -f "$DEB" Depends)
  # Found by dpkg-shlibdeps from what the binaries link, plus the explicit ones.
  for wanted in libc6 libstdc++6 libpam0g libduktape adduser libpam-modules; do
    grep -q "$wanted" <<<"$depends" || { echo "Depends lacks $wanted: $depends"; return 1; }
  done
  dpkg-deb -c "$DEB" | awk '{print $6}' | sed 's|^\./|/|' >"$WORK/contents"
  for path in /usr/bin/ferrolift /usr/lib/ferrolift/libferrolift.so /usr/lib/ferrolift/libferrolift-platform.so \
              /usr/share/ferrolift/site/index.asp /usr/share/ferrolift/site/inc/layout.inc \
              /usr/share/ferrolift/site/uploads/ /lib/systemd/system/ferrolift.service \
              /lib/systemd/system/ferrolift@.service /etc/default/ferrolift /etc/pam.d/ferrolift \
              /usr/share/man/man1/ferrolift.1 /usr/share/doc/ferrolift/examples/nginx/ferrolift.conf \
              /usr/share/doc/ferrolift/examples/systemd/impersonation.conf; do
    grep -qx "$path" "$WORK/contents" || { echo "package lacks $path"; return 1; }
  done
  # Nothing of the build or the tests leaks in.
  if grep -E 'test_|bench_|/include/|\.a$|gitignore' "$WORK/contents"; then echo "unexpected files"; return 1; fi
}

install_sets_up_the_system() {
  DEBIAN_FRONTEND=noninteractive dpkg -i --force-confold "$DEB" >"$WORK/dpkg-i.log" 2>&1 || { cat "$WORK/dpkg-i.log"; return 1; }
  local uid shell
  uid=$(id -u ferrolift) || return 1
  shell=$(getent passwd ferrolift | cut -d: -f7)
  [[ $uid -lt 1000 && $shell == */nologin ]] || { echo "ferrolift is not a system account: uid $uid, $shell"; return 1; }
  [[ $(stat -c '%U %a' "$STATE") == "root 755" ]] || { echo "$STATE: $(stat -c '%U %a' "$STATE")"; return 1; }
  [[ $(stat -c '%U %a' "$REGISTRY") == "root 644" ]] || { echo "$REGISTRY: $(stat -c '%U %a' "$REGISTRY")"; return 1; }
  [[ $(stat -c '%U' "$STATE/site/uploads") == ferrolift && $(stat -c '%U' "$STATE/site/index.asp") == root ]] ||
    { echo "site ownership wrong"; ls -la "$STATE/site"; return 1; }
  # Registered in the system registry, pointing at the installed module.
  local server
  server=$(FERROLIFT_REGISTRY=$REGISTRY /usr/bin/ferrolift reg query "HKCR\\Ferrolift4.XForm\\CLSID" /ve | sed -n 's/.*REG_SZ *//p')
  FERROLIFT_REGISTRY=$REGISTRY /usr/bin/ferrolift reg query "HKCR\\CLSID\\$server\\InprocServer32" /ve |
    grep -q 'REG_SZ *'/usr/lib/ferrolift/libferrolift.so || { echo "InprocServer32 wrong for $server"; return 1; }
  FERROLIFT_EVENTLOG=$EVENTLOG /usr/bin/ferrolift eventlog | grep -q 'Ferrolift Registered Successfully' ||
    { echo "no registration entry in $EVENTLOG"; return 1; }
  [[ $(stat -c '%U' "$EVENTLOG") == ferrolift ]] || { echo "the service cannot append to $EVENTLOG"; return 1; }
  # The private libraries are found through the program's run path alone.
  if ldd /usr/bin/ferrolift | grep -E 'not found'; then return 1; fi
  ldd /usr/bin/ferrolift | grep -q '=> /usr/bin/../lib/ferrolift/libferrolift-platform.so' || { ldd /usr/bin/ferrolift; return 1; }
  if ldd /usr/lib/ferrolift/libferrolift.so | grep -E 'not found'; then return 1; fi
}

units_verify() {
  systemd-analyze verify /lib/systemd/system/ferrolift.service || return 1
  # A template is verified through an instance of it.
  local instance=$WORK/units/ferrolift@8081.service
  mkdir -p "$WORK/units"
  cp /lib/systemd/system/ferrolift@.service "$WORK/units/ferrolift@.service"
  ln -s ferrolift@.service "$instance"
  systemd-analyze verify "$instance" || return 1
  local dropin=$WORK/units/ferrolift.service.d
  mkdir -p "$dropin"
  cp /lib/systemd/system/ferrolift.service "$WORK/units/"
  cp /usr/share/doc/ferrolift/examples/systemd/impersonation.conf "$dropin/"
  systemd-analyze verify "$WORK/units/ferrolift.service"
}

help_is_complete() {
  local command text
  for command in serve register unregister reg eventlog typelib; do
    text=$(/usr/bin/ferrolift "$command" --help) || { echo "$command --help failed"; return 1; }
    grep -q "^usage: ferrolift $command" <<<"$text" || { echo "$command --help: $text"; return 1; }
  done
  /usr/bin/ferrolift --help | grep -q FERROLIFT_REGISTRY || return 1
  /usr/bin/ferrolift serve --help | grep -q -- '--threads' || return 1
  man -w ferrolift >/dev/null 2>&1 || [[ ! -x /usr/bin/man ]] || { echo "man page not found"; return 1; }
}

# The unit's ExecStart with its environment, as systemd would run it (systemd is not
# PID 1 here): Environment= lines, then /etc/default/ferrolift, then $1 extra settings.
service_command() {
  local unit=/lib/systemd/system/ferrolift.service line
  (
    while IFS= read -r line; do
      [[ $line == Environment=* ]] && export "${line#Environment=}"
    done <"$unit"
    set -a
    # shellcheck disable=SC1091
    source /etc/default/ferrolift
    set +a
    export "$@"
    local exec
    exec=$(sed -n 's/^ExecStart=//p' "$unit")
    eval "set -- $exec"
    env | grep '^FERROLIFT_' | grep -v -e '^FERROLIFT_SANITIZED=' >"$WORK/service.env"
    printf '%s\n' "$@"
  )
}

service_serves_as_its_account() {
  local -a command
  mapfile -t command < <(service_command FERROLIFT_LISTEN=127.0.0.1:0)
  [[ ${command[0]} == /usr/bin/ferrolift && ${command[1]} == serve ]] || { echo "ExecStart: ${command[*]}"; return 1; }
  FERROLIFT_REGISTRY=$REGISTRY /usr/bin/ferrolift reg add "$SETTINGS" /v LogErrors /t REG_DWORD /d 1 /f >/dev/null || return 1
  # As the unit runs it: the service account, no capabilities, no new privileges, and
  # nothing from root's environment (no HOME to fall back on).
  setpriv --reuid=ferrolift --regid=ferrolift --init-groups --inh-caps=-all --bounding-set=-all --no-new-privs \
    env -i PATH=/usr/bin:/bin HOME=/nonexistent $(cat "$WORK/service.env") "${command[@]}" \
    >"$WORK/service.access" 2>"$WORK/service.errors" &
  local pid=$!
  PIDS+=("$pid")
  local port
  port=$(wait_for_port "$WORK/service.errors" "$pid") || { echo "service did not start:"; cat "$WORK/service.errors"; return 1; }
  grep -q "$STATE/site" "$WORK/service.errors" || { cat "$WORK/service.errors"; return 1; }
  grep -q 'registering' "$WORK/service.errors" && { echo "the service had to register the component itself"; return 1; }
  local base=http://127.0.0.1:$port
  curl -sS -f "$base/" | grep -q '<h1>Upload files</h1>' || { echo "sample page not served"; return 1; }
  make_file "$WORK/visitor.bin" 250000
  curl -sS -f -o /dev/null -F "file1=@$WORK/visitor.bin" "$base/results.asp" || return 1
  # The sample site stores uploads under names it makes (ID-NUMBER.EXT): the newest is ours.
  local saved
  saved=$(ls -t "$STATE"/site/uploads/*.bin 2>/dev/null | head -1)
  SAVED_UPLOAD=$saved
  [[ -f $saved && $(sha "$saved") == $(sha "$WORK/visitor.bin") && $(stat -c %U "$saved") == ferrolift ]] ||
    { echo "upload not saved by the service account"; ls -la "$STATE/site/uploads"; return 1; }
  # A refused upload is logged by the service itself into the shared event log.
  curl -sS -o /dev/null -F "file1=@$WORK/visitor.bin" "$base/results.asp?max=1000" || return 1
  tail -1 "$EVENTLOG" | grep -q 'maximum allowed' || { echo "no event from the service:"; tail -3 "$EVENTLOG"; return 1; }
  stop_pid "$pid" || { echo "service did not stop cleanly"; cat "$WORK/service.errors"; return 1; }
}

# Runs the installed program with the unit's command line as "ferrolift", with extra
# setpriv options standing in for a drop-in; sets IMP_PID and IMP_BASE.
start_as_service() {   # start_as_service LOG SETPRIV_OPTIONS...
  local log=$1; shift
  local -a command
  mapfile -t command < <(service_command FERROLIFT_LISTEN=127.0.0.1:0 FERROLIFT_ROOT="$WORK/impsite")
  setpriv --reuid=ferrolift --regid=ferrolift --no-new-privs "$@" \
    env -i PATH=/usr/bin:/bin HOME=/nonexistent $(cat "$WORK/service.env") "${command[@]}" >"$log.access" 2>"$log.errors" &
  IMP_PID=$!
  PIDS+=("$IMP_PID")
  local port
  port=$(wait_for_port "$log.errors" "$IMP_PID") || { cat "$log.errors"; return 1; }
  IMP_BASE=http://127.0.0.1:$port
}

# What impersonation.conf grants is what SetUser needs: without CAP_SETUID/CAP_SETGID the
# logon works but the switch fails, without the group shadow the logon itself fails,
# and with both the page saves as the account it logged on as.
impersonation_needs_exactly_the_dropin() {
  local account=flimp$$ password
  password=Pw-$RANDOM-$RANDOM
  useradd -M -s /usr/sbin/nologin "$account" || return 1
  CLEANUPS+=("userdel -f $account 2>/dev/null")
  chpasswd <<<"$account:$password" || return 1
  make_site "$WORK/impsite"
  chmod -R a+rX "$WORK/impsite"
  chmod 1777 "$WORK/impsite/uploads"
  FERROLIFT_REGISTRY=$REGISTRY /usr/bin/ferrolift reg add "$SETTINGS" /v EnableImpersonation /t REG_DWORD /d 1 /f >/dev/null || return 1
  echo "filed as the account" >"$WORK/impfile.txt"
  local -a caps=(--inh-caps=+setuid,+setgid --ambient-caps=+setuid,+setgid --bounding-set=-all,+setuid,+setgid)
  local -a nocaps=(--inh-caps=-all --bounding-set=-all)
  local page

  start_as_service "$WORK/imp-nocaps" --groups=shadow "${nocaps[@]}" || return 1
  page=$(curl -sS -F "password=$password" -F "file1=@$WORK/impfile.txt" "$IMP_BASE/setuser.asp?user=$account&target=a.txt")
  stop_pid "$IMP_PID"
  grep -q '^setuser failed' <<<"$page" || { echo "without capabilities: $page"; return 1; }

  start_as_service "$WORK/imp-noshadow" --init-groups "${caps[@]}" || return 1
  page=$(curl -sS -F "password=$password" -F "file1=@$WORK/impfile.txt" "$IMP_BASE/setuser.asp?user=$account&target=b.txt")
  stop_pid "$IMP_PID"
  grep -q '^setuser failed' <<<"$page" || { echo "without the shadow group: $page"; return 1; }

  start_as_service "$WORK/imp-dropin" --groups=ferrolift,shadow "${caps[@]}" || return 1
  page=$(curl -sS -F "password=$password" -F "file1=@$WORK/impfile.txt" "$IMP_BASE/setuser.asp?user=$account&target=c.txt")
  local wrong
  wrong=$(curl -sS -F "password=wrong" -F "file1=@$WORK/impfile.txt" "$IMP_BASE/setuser.asp?user=$account&target=d.txt")
  stop_pid "$IMP_PID"
  grep -q "^user $account" <<<"$page" && grep -q '^saved' <<<"$page" || { echo "with the drop-in: $page"; cat "$WORK/imp-dropin.errors"; return 1; }
  [[ $(stat -c %U "$WORK/impsite/uploads/c.txt") == "$account" ]] || { ls -la "$WORK/impsite/uploads"; return 1; }
  grep -q '^setuser failed' <<<"$wrong" || { echo "a wrong password logged on: $wrong"; return 1; }
  [[ ! -e $WORK/impsite/uploads/a.txt && ! -e $WORK/impsite/uploads/b.txt && ! -e $WORK/impsite/uploads/d.txt ]]
}

remove_keeps_user_data() {
  DEBIAN_FRONTEND=noninteractive dpkg -r ferrolift >"$WORK/dpkg-r.log" 2>&1 || { cat "$WORK/dpkg-r.log"; return 1; }
  local path
  for path in /usr/bin/ferrolift /usr/lib/ferrolift /usr/share/ferrolift /lib/systemd/system/ferrolift.service; do
    [[ ! -e $path ]] || { echo "$path left behind"; return 1; }
  done
  [[ -n ${SAVED_UPLOAD:-} && -f $SAVED_UPLOAD ]] || { echo "the visitor's upload is gone"; return 1; }
  [[ -f $EVENTLOG ]] || { echo "the event log is gone"; return 1; }
  # Unregistered, yet the settings stay.
  grep -q 'Ferrolift4.XForm' "$REGISTRY" && { echo "classes still registered"; return 1; }
  grep -qi '"LogErrors"=dword:00000001' "$REGISTRY" || { echo "settings lost:"; cat "$REGISTRY"; return 1; }
  getent passwd ferrolift >/dev/null || { echo "the account that owns the uploads is gone"; return 1; }
}

check package_builds package_builds || true
if [[ -n $DEB && -f $DEB ]]; then
  check install_sets_up_the_system install_sets_up_the_system
  check units_verify units_verify
  check help_is_complete help_is_complete
  check service_serves_as_its_account service_serves_as_its_account
  check impersonation_needs_exactly_the_dropin impersonation_needs_exactly_the_dropin
  check remove_keeps_user_data remove_keeps_user_data
fi
finish
