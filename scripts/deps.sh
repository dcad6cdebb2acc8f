#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, only those missing.
# Usage: scripts/deps.sh [--browser] [--deploy] [--load] [--windows]
#   --browser adds Chromium and Node for the browser test
#   --deploy adds what the deployment tests drive: nginx, Samba with its VFS modules and
#   client, systemd-analyze and the packaging tools (their services are not started)
#   --load adds wrk, Node for its peer and civetweb for the 1 GiB upload's sink (bench/load/run.sh)
#   --windows adds the 64-bit MinGW-w64 cross compiler (posix threads), widl and Wine, which
#   build ferrolift.dll and run its tests (the `windows` preset; libwine-dev for widl's
#   oaidl.idl); Wine runs headless
set -euo pipefail
packages=(build-essential cmake pkg-config clang libclang-rt-14-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          duktape-dev libpam0g-dev
          attr dosfstools imagemagick libjpeg-turbo-progs curl ca-certificates util-linux passwd
          python3)
deploy=0
for option in "$@"; do
  case "$option" in
    --browser)
      packages+=(chromium)
      command -v node >/dev/null 2>&1 || packages+=(nodejs)
      command -v npm >/dev/null 2>&1 || packages+=(npm)
      ;;
    --deploy)
      deploy=1
      packages+=(nginx-light samba samba-vfs-modules smbclient systemd dpkg-dev adduser man-db perl)
      ;;
    --load)
      packages+=(wrk libcivetweb-dev)
      command -v node >/dev/null 2>&1 || packages+=(nodejs)
      command -v npm >/dev/null 2>&1 || packages+=(npm)
      ;;
    --windows)
      packages+=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev mingw-w64-tools wine64 libwine-dev)
      ;;
    *) echo "deps: unknown option $option" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "deps: missing Debian packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "deps: installing ${missing[*]}"
  apt-get update -qq
  # The deployment tests start nginx and smbd themselves, on loopback; installing them
  # must not start the system's own copies on ports 80 and 445.
  if ((deploy)) && [[ ! -e /usr/sbin/policy-rc.d ]]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod 0755 /usr/sbin/policy-rc.d
    trap 'rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
