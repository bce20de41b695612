#!/usr/bin/env bash
# Installs every Debian package the project needs to build and test Quelta,
# natively and for Windows (MinGW-w64 cross compilers, Wine, Xvfb, the CHM
# compiler).
# Quiet and fast when everything is present: only the missing packages are
# installed, and apt-get update runs once, only when something is missing.
#
# With --bench also what the large-rule-set benchmark needs (SpamAssassin's
# stock rules, bogofilter, GNU time, Python 3, npm for the public corpus).
# With --release also what make release needs: NSIS for the Windows
# installer, debootstrap for the fresh Debian root the package is tried in.
#
# Usage: scripts/install-deps.sh [--no-windows] [--bench] [--release]
set -euo pipefail

want_windows=1
want_bench=0
want_release=0
for a in "$@"; do
  case "$a" in
    --no-windows) want_windows=0 ;;
    --bench) want_bench=1 ;;
    --release) want_release=1 ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "install-deps: unknown option $a" >&2; exit 2 ;;
  esac
done

# clang and its runtimes: the sanitizer runs and the fuzz targets of make test.
native=(build-essential cmake ninja-build pkg-config dpkg-dev
        libpcre2-dev libcurl4-openssl-dev googletest libgtest-dev libbenchmark-dev
        clang libclang-rt-dev
        libncurses-dev  # the dialogs on a terminal
        procmail maildrop groff-base  # the host's tests: delivery agents, man page
        tmux)  # the terminal dialogs' tests
# The network tests' loopback peers (DNS, SMTP) and their private namespace.
netpeers=(python3 dnsmasq-base iproute2 util-linux procps)
# wine64 alone does not bring /usr/bin/wine, wineserver, wineboot: name 'wine' too.
# wine32 (from the i386 architecture) runs the 32-bit plug-in's tests.
windows=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 wine32:i386 xvfb xauth
         fp-utils libchm-bin)  # the help: chmcmd compiles Quelta.chm, extract_chmLib checks it
bench=(spamassassin bogofilter time python3)
release=(nsis debootstrap dpkg-dev util-linux tar gzip)
# npm comes with some Node.js builds; Debian's own package only where it is missing.
command -v npm >/dev/null 2>&1 || bench+=(npm)

wanted=("${native[@]}" "${netpeers[@]}")
[ "$want_windows" = 1 ] && wanted+=("${windows[@]}")
[ "$want_bench" = 1 ] && wanted+=("${bench[@]}")
[ "$want_release" = 1 ] && wanted+=("${windows[@]}" "${release[@]}")

is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = "installed" ]
}

missing=()
for p in "${wanted[@]}"; do is_installed "$p" || missing+=("$p"); done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=sudo; else
    echo "install-deps: missing packages (${missing[*]}) and not root" >&2
    exit 1
  fi
fi

export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
# 32-bit packages come from the i386 architecture.
for p in "${missing[@]}"; do
  case "$p" in
    *:i386) dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386 ;;
  esac
done
# A mirror in the middle of a sync can fail an index once; try again.
for attempt in 1 2 3; do
  $SUDO apt-get update -qq && break
  [ $attempt = 3 ] && { echo "install-deps: apt-get update failed" >&2; exit 1; }
  sleep 10
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

still=()
for p in "${wanted[@]}"; do is_installed "$p" || still+=("$p"); done
if [ ${#still[@]} -gt 0 ]; then
  echo "install-deps: FAILED, still missing: ${still[*]}" >&2
  exit 1
fi
echo "install-deps: done"
