#!/usr/bin/env bash
# Run by netns.sh: the resolver and echo suites with the loopback peers as
# root (a raw socket: ping sockets are off in a new namespace); for a native
# build the echo as an unprivileged user with and without ICMP datagram
# sockets; and the echo with replies switched off.
set -uo pipefail
rc=0
run() {  # label, what the echo should give, command...
  echo "resolver-suite: $1"
  QUELTA_ECHO_EXPECT="$2" "${@:3}" || rc=1
}
run "resolver and echo as root" reply python3 "$(dirname "$0")/peers.py" --netns -- "$@" --gtest_filter='Resolver*:Echo*'
if [ "$1" != wine ]; then
  nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all env QUELTA_NETNS=1)
  sysctl -qw net.ipv4.ping_group_range="0 2147483647"
  run "echo as an unprivileged user (datagram socket)" reply "${nobody[@]}" "$@" --gtest_filter='Echo*'
  sysctl -qw net.ipv4.ping_group_range="1 0"
  run "echo with no ICMP permitted" none "${nobody[@]}" "$@" --gtest_filter='Echo*'
fi
sysctl -qw net.ipv4.icmp_echo_ignore_all=1
run "echo with replies switched off" timeout env QUELTA_NETNS=1 "$@" --gtest_filter='Echo*'
sysctl -qw net.ipv4.icmp_echo_ignore_all=0
exit $rc
