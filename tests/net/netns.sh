#!/usr/bin/env bash
# Runs a command in a private mount and network namespace whose system
# resolver asks 127.0.0.1 (port 53) only: loopback up, resolv.conf, hosts
# and nsswitch.conf bind-mounted over the machine's, and a private /tmp, so
# that a Wine program there starts a wineserver of its own instead of
# finding the machine's (Wine's sockets live in the wineserver's namespace).
#
#   netns.sh COMMAND [ARGS...]
#
# Exits 77 with one line when namespaces are not permitted here.
set -euo pipefail

if [ -z "${QUELTA_IN_NETNS:-}" ]; then
  if ! unshare --mount --net true 2>/dev/null; then
    echo "SKIP: the system-resolver tests need a private network namespace (unshare --mount --net, as root), which is not permitted here"
    exit 77
  fi
  export QUELTA_IN_NETNS=1
  exec unshare --mount --net --propagation private "$0" "$@"
fi

ip link set lo up
mount -t tmpfs -o mode=1777 tmpfs /tmp
etc="$(mktemp -d)"
printf 'nameserver 127.0.0.1\noptions timeout:5 attempts:1\n' >"$etc/resolv.conf"
printf '127.0.0.1 localhost\n' >"$etc/hosts"
printf 'hosts: files dns\n' >"$etc/nsswitch.conf"
for f in resolv.conf hosts nsswitch.conf; do mount --bind "$etc/$f" "/etc/$f"; done
"$@"
