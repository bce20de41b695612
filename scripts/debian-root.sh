#!/usr/bin/env bash
# Makes a fresh minimal Debian root (debootstrap --variant=minbase) of the
# machine's own release in DEST, from the machine's own apt mirror, for
# installing a package the way a bare system would.
#
# The first run bootstraps and keeps the result as a tarball under
# build/release-cache/; later runs unpack that tarball (seconds, not
# minutes). The root's apt sources are the machine's Debian entries of that
# release (main, updates, security), so the root sees the packages the build
# machine sees. Needs root and debootstrap (scripts/install-deps.sh --release).
#
# Usage: scripts/debian-root.sh DEST      (--fresh: bootstrap anew)
# Also:  scripts/debian-root.sh --sources  (the "URI SUITE" pairs it uses)
set -euo pipefail
root_dir=$(cd "$(dirname "$0")/.." && pwd)
cache="$root_dir/build/release-cache"
. /etc/os-release
codename=$VERSION_CODENAME

# "URI SUITE" for every enabled Debian entry of this release in the machine's
# apt configuration, one-line (sources.list) and deb822 (.sources) alike.
machine_sources() {
  local files=()
  [ -f /etc/apt/sources.list ] && files+=(/etc/apt/sources.list)
  for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && files+=("$f")
  done
  [ ${#files[@]} -gt 0 ] || return 0
  awk -v rel="$codename" '
    function emit(uri, suite) {
      if ((suite == rel || index(suite, rel "-") == 1) && !((uri, suite) in seen)) {
        seen[uri, suite] = 1; print uri, suite
      }
    }
    FNR == 1 { flush() }
    /^[ \t]*#/ { next }
    FILENAME ~ /\.sources$/ {
      if ($0 ~ /^[ \t]*$/) { flush(); next }
      if (tolower($1) == "types:") types = $0
      if (tolower($1) == "uris:") uris = $0
      if (tolower($1) == "suites:") suites = $0
      next
    }
    $1 == "deb" {
      i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
      emit($i, $(i + 1)); next
    }
    function flush(   nu, ns, u, s, a, b) {
      if (types ~ /(^|[ \t])deb([ \t]|$)/) {
        nu = split(uris, a, /[ \t]+/); ns = split(suites, b, /[ \t]+/)
        for (u = 2; u <= nu; u++) for (s = 2; s <= ns; s++) if (a[u] != "" && b[s] != "") emit(a[u], b[s])
      }
      types = ""; uris = ""; suites = ""
    }
    END { flush() }
  ' "${files[@]}"
}

if [ "${1:-}" = --sources ]; then machine_sources; exit 0; fi
fresh=0
[ "${1:-}" = --fresh ] && { fresh=1; shift; }
dest=${1:?usage: debian-root.sh [--fresh] DEST}
[ "$(id -u)" = 0 ] || { echo "debian-root: needs root (debootstrap, chroot)" >&2; exit 1; }

tarball="$cache/$codename-minbase.tar.gz"
if [ $fresh = 1 ] || [ ! -s "$tarball" ]; then
  command -v debootstrap >/dev/null || { echo "debian-root: debootstrap missing; run scripts/install-deps.sh --release" >&2; exit 1; }
  mirror=$(machine_sources | awk -v rel="$codename" '$2 == rel { print $1; exit }')
  [ -n "$mirror" ] || { echo "debian-root: no '$codename' entry in the apt sources" >&2; exit 1; }
  mkdir -p "$cache"
  tmp=$(mktemp -d "$cache/bootstrap.XXXXXX")
  trap 'rm -rf --one-file-system "$tmp"' EXIT
  echo "debian-root: bootstrapping $codename (minbase) from the machine's mirror; kept in $tarball"
  # In a mount namespace of its own: whatever debootstrap mounts in the new
  # root (/proc) goes away with it and never reaches the tarball.
  unshare --mount --propagation private debootstrap --variant=minbase --arch="$(dpkg --print-architecture)" "$codename" "$tmp/root" "$mirror" \
    >"$tmp/log" 2>&1 || { tail -20 "$tmp/log" >&2; exit 1; }
  # The same sources as the machine: the release, its updates and security.
  machine_sources | awk '{ print "deb", $1, $2, "main" }' > "$tmp/root/etc/apt/sources.list"
  rm -rf "$tmp/root/var/cache/apt/archives/"*.deb
  tar -C "$tmp/root" --one-file-system --numeric-owner -czf "$tmp/root.tar.gz" .
  mv "$tmp/root.tar.gz" "$tarball"
fi
mkdir -p "$dest"
tar -C "$dest" --numeric-owner -xzf "$tarball"
