#!/usr/bin/env bash
# netns.sh COMMAND [ARGS...]: runs a command in a private mount and network
# namespace whose resolver asks 127.0.0.1 only, with a private /tmp so that a
# Wine program starts a wineserver of its own. Exits 77 where not permitted.
set -euo pipefail
if [ -z "${QUELTA_IN_NETNS:-}" ]; then
  if ! unshare --mount --net true 2>/dev/null; then
    echo "SKIP: the system-resolver tests need a private network namespace (unshare --mount --net, as root), which is not permitted here"
    exit 77
  fi
  QUELTA_IN_NETNS=1 exec unshare --mount --net --propagation private "$0" "$@"
fi
ip link set lo up
mount -t tmpfs -o mode=1777 tmpfs /tmp
etc="$(mktemp -d)"
printf 'nameserver 127.0.0.1\noptions timeout:5 attempts:1\n' >"$etc/resolv.conf"
printf '127.0.0.1 localhost\n' >"$etc/hosts"
printf 'hosts: files dns\n' >"$etc/nsswitch.conf"
for f in resolv.conf hosts nsswitch.conf; do mount --bind "$etc/$f" "/etc/$f"; done
"$@"
