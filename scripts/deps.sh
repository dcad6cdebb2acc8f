#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, only those missing.
# Usage: scripts/deps.sh [--browser|--load]   (--browser adds Chromium and Node for the browser
# test, --load wrk, Node and civetweb for bench/load/run.sh)
set -euo pipefail
packages=(build-essential cmake pkg-config clang libclang-rt-14-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          duktape-dev libpam0g-dev
          attr dosfstools imagemagick libjpeg-turbo-progs curl ca-certificates util-linux passwd
          python3)
if [[ "${1:-}" == "--browser" ]]; then
  packages+=(chromium)
  command -v node >/dev/null 2>&1 || packages+=(nodejs)
  command -v npm >/dev/null 2>&1 || packages+=(npm)
fi
if [[ "${1:-}" == "--load" ]]; then   # the load benchmark: wrk, Node for its peer, civetweb for the 1 GiB upload's sink
  packages+=(wrk libcivetweb-dev)
  command -v node >/dev/null 2>&1 || packages+=(nodejs)
  command -v npm >/dev/null 2>&1 || packages+=(npm)
fi
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
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
