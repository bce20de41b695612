#!/usr/bin/env bash
# The Debian package on a fresh minimal Debian of the machine's release (a
# debootstrap root made by scripts/debian-root.sh, its own apt sources the
# machine's): dpkg -i, then apt-get -f install pulls in the dependencies,
# every package it adds being one the package's Depends lead to, and both
# programs then find every library they link. An ordinary user gets the
# release version from quelta --version, makes a profile with quelta init
# that equals the shipped default, trains on the example messages and
# scores them right at the threshold the read-me recommends (50). Purging
# the package removes its files and leaves the user's profile.
# Needs root (chroot, mount namespace) and the network to the apt mirror.
# Usage: tests/release/deb_test.sh [RELEASE_DIR]   (default build/release)
source "$(dirname "$0")/lib.sh" "$@"
[ "$(id -u)" = 0 ] || { echo "deb_test: needs root (chroot)"; exit 1; }

deb=$(cd "$rel" && ls quelta_"$version"_*.deb)
root="$work/root"
"$src/scripts/debian-root.sh" "$root" || exit 1
cp "$rel/$deb" "$root/tmp/"
cp -r "$src/examples" "$root/tmp/examples"
chmod -R a+rX "$root/tmp/examples"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

# A command in the root, with /proc mounted in a mount namespace that ends
# with the command (nothing stays mounted below the scratch folder).
in_root() {
  unshare --mount --propagation private \
    sh -c 'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$root" \
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}
as_user() { in_root runuser -u mailuser -- env HOME=/home/mailuser "$@"; }
packages() { in_root dpkg-query -W -f='${db:Status-Status} ${Package}\n' | awk '$1 == "installed" { print $2 }' | sort; }

in_root apt-get update -qq >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
packages > "$work/before"
in_root dpkg -i "/tmp/$deb" >"$work/dpkg.log" 2>&1
in_root apt-get -f install -y -q -o APT::Install-Recommends=false >"$work/apt.log" 2>&1; rc=$?
check "apt-get -f install completes the installation" \
  '[ $rc = 0 ] && [ "$(in_root dpkg-query -W -f="\${db:Status-Status}" quelta)" = installed ]' ||
  { cat "$work/dpkg.log" "$work/apt.log"; finish; exit 1; }

packages > "$work/after"
comm -13 "$work/before" "$work/after" | grep -vx quelta > "$work/added"
# Everything the package's Depends lead to, through Depends and Pre-Depends.
in_root apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts \
  --no-breaks --no-replaces --no-enhances quelta | sed -n 's/^\([a-z0-9][^ ]*\)$/\1/p' |
  sed 's/:.*//' | sort -u > "$work/closure"
extra=$(comm -23 "$work/added" "$work/closure" | tr '\n' ' ')
check "only packages the Depends lead to were added (added: $(wc -l < "$work/added"))" '[ -z "$extra" ]' ||
  echo "  not from Depends: $extra"
missing=$(in_root ldd /usr/bin/quelta /usr/lib/quelta/Quelta.tbp | grep 'not found')
check "both programs find every library they link" '[ -z "$missing" ]' || echo "$missing"
for f in /usr/share/man/man1/quelta.1.gz /usr/share/bash-completion/completions/quelta \
         /usr/share/quelta/profile/Rules.dat /usr/share/doc/quelta/html/index.html; do
  check "installed: $f" '[ -f "$root$f" ]'
done

in_root useradd -m mailuser
check "quelta --version" '[ "$(as_user quelta --version)" = "quelta $version" ]'
as_user quelta init >"$work/out" 2>&1; rc=$?
profile="$root/home/mailuser/.local/share/quelta"
check "quelta init: the default profile in the user's data folder" \
  '[ $rc = 0 ] && cmp -s "$profile/Rules.dat" "$src/data/Rules.dat" && [ -d "$profile/Logs" ]' || cat "$work/out"
as_user quelta train --no-progress --spam /tmp/examples/spam >/dev/null 2>&1
as_user quelta train --no-progress --ham /tmp/examples/ham >/dev/null 2>&1
as_user quelta score --no-progress --threshold 50 /tmp/examples/spam /tmp/examples/ham >"$work/scores" 2>"$work/err"; rc=$?
wrong=$(awk -F'\t' '($3 ~ /\/spam\// && $2 != "SPAM") || ($3 ~ /\/ham\// && $2 != "HAM")' "$work/scores")
check "the example messages scored: spam SPAM, ham HAM (exit 1: spam among them)" \
  '[ $rc = 1 ] && [ "$(wc -l < "$work/scores")" = "$(find "$src/examples" -name "*.eml" | wc -l)" ] && [ -z "$wrong" ]' ||
  cat "$work/scores" "$work/err"

in_root dpkg --purge quelta >"$work/dpkg.log" 2>&1; rc=$?
check "dpkg --purge: the package's files gone" \
  '[ $rc = 0 ] && [ ! -e "$root/usr/bin/quelta" ] && [ ! -e "$root/usr/lib/quelta" ] && [ ! -e "$root/usr/share/quelta" ]'
check "dpkg --purge: the user's profile kept" '[ -s "$profile/Bayes.wdb" ] && [ -f "$profile/Rules.dat" ]'

finish
