#!/usr/bin/env bash
# Installs every Debian package the project needs to build and test Quelta,
# natively and for Windows (MinGW-w64 cross compilers, Wine, Xvfb).
# Quiet and fast when everything is present: only the missing packages are
# installed, and apt-get update runs once, only when something is missing.
#
# Usage: scripts/install-deps.sh [--no-fuzz] [--no-windows]
set -euo pipefail

want_fuzz=1
want_windows=1
for a in "$@"; do
  case "$a" in
    --no-fuzz) want_fuzz=0 ;;
    --no-windows) want_windows=0 ;;
    -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
    *) echo "install-deps: unknown option $a" >&2; exit 2 ;;
  esac
done

native=(build-essential cmake ninja-build pkg-config dpkg-dev
        libpcre2-dev libcurl4-openssl-dev googletest libgtest-dev libbenchmark-dev)
# The network tests' loopback peers (DNS, SMTP) and their private namespace.
netpeers=(python3 dnsmasq-base exim4-daemon-light iproute2 util-linux procps)
fuzz=(clang libclang-rt-dev)
# wine64 alone does not bring /usr/bin/wine, wineserver, wineboot: name 'wine' too.
windows=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth)

wanted=("${native[@]}" "${netpeers[@]}")
[ "$want_windows" = 1 ] && wanted+=("${windows[@]}")

is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = "installed" ]
}

missing=()
for p in "${wanted[@]}"; do is_installed "$p" || missing+=("$p"); done
missing_fuzz=()
if [ "$want_fuzz" = 1 ]; then
  for p in "${fuzz[@]}"; do is_installed "$p" || missing_fuzz+=("$p"); done
fi

if [ ${#missing[@]} -eq 0 ] && [ ${#missing_fuzz[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=sudo; else
    echo "install-deps: missing packages (${missing[*]} ${missing_fuzz[*]}) and not root" >&2
    exit 1
  fi
fi

export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]} ${missing_fuzz[*]}"
$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The fuzzing tools are optional: a failure there does not stop the build.
if [ ${#missing_fuzz[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${missing_fuzz[@]}" >/dev/null ||
    echo "install-deps: WARNING: optional fuzzing packages not installed (${missing_fuzz[*]})" >&2
fi

still=()
for p in "${wanted[@]}"; do is_installed "$p" || still+=("$p"); done
if [ ${#still[@]} -gt 0 ]; then
  echo "install-deps: FAILED, still missing: ${still[*]}" >&2
  exit 1
fi
echo "install-deps: done"
