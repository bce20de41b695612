#!/usr/bin/env bash
# Builds static 8-bit PCRE2 (with JIT) for the Windows targets from Debian's
# source package, into build/deps/<arch> (lib/libpcre2-8.a, include/pcre2.h).
# Idempotent: an architecture whose library already exists (built with this
# script's link size, recorded in build/deps/<arch>/link-size) is skipped.
#
# Link size 4: compiled patterns may exceed 64 KiB (Debian's own library uses
# link size 2, so the Linux build rejects such patterns as "regular expression
# is too large"; some large rule sets hold a few).
#
# The source comes from Debian's own archive through apt: a deb-src entry is
# derived from the machine's apt configuration (the URI of its bookworm "deb"
# entry) for the download and removed again afterwards. The version is pinned
# to bookworm's, because the security suite's newer source may not be served.
#
# Usage: scripts/build-pcre2-mingw.sh [i686] [x86_64]   (default: both)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="$ROOT/build/deps"
SRC="$DEPS/src"
UPSTREAM_VERSION=10.42
DEBIAN_VERSION=10.42-1
SUITE=bookworm
SRCDIR="$SRC/pcre2-$UPSTREAM_VERSION"
SRC_LIST=/etc/apt/sources.list.d/quelta-pcre2-src.sources
LINK_SIZE=4

arches=("$@")
[ ${#arches[@]} -eq 0 ] && arches=(i686 x86_64)
for a in "${arches[@]}"; do
  case "$a" in i686|x86_64) ;; *) echo "build-pcre2: unknown architecture $a" >&2; exit 2 ;; esac
done

todo=()
for a in "${arches[@]}"; do
  if [ -f "$DEPS/$a/lib/libpcre2-8.a" ] && [ -f "$DEPS/$a/include/pcre2.h" ] &&
     [ "$(cat "$DEPS/$a/link-size" 2>/dev/null)" = "$LINK_SIZE" ]; then
    echo "build-pcre2: $a present ($DEPS/$a/lib/libpcre2-8.a), skipped"
  else
    todo+=("$a")
  fi
done
[ ${#todo[@]} -eq 0 ] && exit 0

SUDO=
if [ "$(id -u)" != 0 ] && command -v sudo >/dev/null 2>&1; then SUDO=sudo; fi

# Prints "URI<TAB>Signed-By" of the first "deb" entry that lists $SUITE,
# from the deb822 files and from the one-line format.
find_deb_uri() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    [ "$f" = "$SRC_LIST" ] && continue
    awk -v suite="$SUITE" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && uri != "" && !done) {
          print uri "\t" signed; done = 1
        }
        types = ""; suites = ""; uri = ""; signed = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      {
        key = $1; sub(/:$/, "", key); val = $0; sub(/^[^:]*:[ \t]*/, "", val)
        if (key == "Types") types = val
        else if (key == "Suites") suites = val
        else if (key == "URIs") { split(val, u, /[ \t]+/); uri = u[1] }
        else if (key == "Signed-By") signed = val
      }
      END { flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v suite="$SUITE" '
      /^[ \t]*deb[ \t]/ {
        line = $0; signed = ""
        if (match(line, /\[[^]]*\]/)) {
          opts = substr(line, RSTART + 1, RLENGTH - 2)
          line = substr(line, 1, RSTART - 1) substr(line, RSTART + RLENGTH)
          n = split(opts, o, /[ \t]+/)
          for (i = 1; i <= n; i++) if (o[i] ~ /^signed-by=/) { signed = o[i]; sub(/^signed-by=/, "", signed) }
        }
        split(line, w, /[ \t]+/)
        if (w[3] == suite) { print w[2] "\t" signed; exit }
      }' "$f"
  done
}

have_source_version() {
  apt-cache showsrc pcre2 2>/dev/null | grep -q "^Version: $DEBIAN_VERSION\$"
}

fetch_source() {
  mkdir -p "$SRC"
  local added=0
  if ! have_source_version; then
    local entry uri signed
    entry="$(find_deb_uri | head -n1)"
    uri="${entry%%$'\t'*}"
    signed="${entry#*$'\t'}"
    if [ -z "$uri" ]; then
      echo "build-pcre2: no '$SUITE' deb entry found in the apt configuration" >&2
      exit 1
    fi
    [ -z "$signed" ] && signed=/usr/share/keyrings/debian-archive-keyring.gpg
    echo "build-pcre2: adding a temporary deb-src entry for $SUITE"
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
      "$uri" "$SUITE" "$signed" | $SUDO tee "$SRC_LIST" >/dev/null
    added=1
    $SUDO apt-get update -qq
  fi
  local rc=0
  (cd "$SRC" && apt-get source -qq "pcre2=$DEBIAN_VERSION" >/dev/null 2>"$SRC/apt-source.log") || rc=$?
  if [ "$added" = 1 ]; then
    $SUDO rm -f "$SRC_LIST"
  fi
  if [ $rc -ne 0 ] || [ ! -f "$SRCDIR/CMakeLists.txt" ]; then
    echo "build-pcre2: apt-get source pcre2=$DEBIAN_VERSION failed:" >&2
    cat "$SRC/apt-source.log" >&2
    exit 1
  fi
}

if [ ! -f "$SRCDIR/CMakeLists.txt" ]; then
  fetch_source
fi

for a in "${todo[@]}"; do
  echo "build-pcre2: building $a"
  bdir="$DEPS/build-pcre2-$a"
  rm -rf "$bdir"
  cmake -S "$SRCDIR" -B "$bdir" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$a.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$DEPS/$a" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON \
    -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF -DPCRE2_BUILD_PCRE2_32=OFF \
    -DPCRE2_SUPPORT_JIT=ON -DPCRE2_SUPPORT_UNICODE=ON -DPCRE2_LINK_SIZE="$LINK_SIZE" \
    -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF -DPCRE2_SHOW_REPORT=OFF \
    >"$DEPS/build-pcre2-$a.log" 2>&1 || { cat "$DEPS/build-pcre2-$a.log" >&2; exit 1; }
  { cmake --build "$bdir" -j"$(nproc)" && cmake --install "$bdir"; } \
    >>"$DEPS/build-pcre2-$a.log" 2>&1 || { tail -n 50 "$DEPS/build-pcre2-$a.log" >&2; exit 1; }
  if [ ! -f "$DEPS/$a/lib/libpcre2-8.a" ]; then
    echo "build-pcre2: $a: libpcre2-8.a was not produced" >&2
    exit 1
  fi
  echo "$LINK_SIZE" >"$DEPS/$a/link-size"
  rm -rf "$bdir"
  echo "build-pcre2: $a done ($DEPS/$a/lib/libpcre2-8.a)"
done
