#!/usr/bin/env bash
# The network tests that need the private namespace (run by netns.sh): the
# system-resolver and echo suites with the loopback peers, the echo again
# with echo replies switched off, and for a native build the echo suite as
# an unprivileged user, once with ICMP datagram sockets allowed and once
# with no ICMP at all.
#
#   resolver-suite.sh [--native] TEST-PROGRAM-COMMAND...
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
native=0
if [ "${1:-}" = "--native" ]; then native=1; shift; fi

rc=0
run() {  # label, environment, command...
  local label="$1" expect="$2"; shift 2
  echo "resolver-suite: $label"
  QUELTA_ECHO_EXPECT="$expect" "$@" || rc=1
}

# Root in a new namespace: ping sockets are off by default there
# (ping_group_range "1 0"), so the echo goes through a raw socket.
run "resolver and echo as root (natively through a raw socket)" reply \
  python3 "$here/peers.py" --netns -- "$@" --gtest_filter='Resolver*:Echo*'

if [ $native = 1 ]; then
  if command -v setpriv >/dev/null 2>&1; then
    nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all)
    sysctl -qw net.ipv4.ping_group_range="0 2147483647"
    run "echo as an unprivileged user (datagram socket)" reply "${nobody[@]}" env QUELTA_NETNS=1 "$@" --gtest_filter='Echo*'
    sysctl -qw net.ipv4.ping_group_range="1 0"
    run "echo with no ICMP permitted" none "${nobody[@]}" env QUELTA_NETNS=1 "$@" --gtest_filter='Echo.Loopback'
  else
    echo "resolver-suite: setpriv missing: unprivileged echo runs skipped"
  fi
fi
sysctl -qw net.ipv4.icmp_echo_ignore_all=1
run "echo with replies switched off" timeout env QUELTA_NETNS=1 "$@" --gtest_filter='Echo.Loopback'
sysctl -qw net.ipv4.icmp_echo_ignore_all=0
exit $rc
