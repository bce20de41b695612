#!/usr/bin/env bash
# The network checks' share of scoring time, and how a machine without a
# DNS server behaves:
#
#  1. 1,000 generated messages (three relay hops and two URLs each) scored in
#     one process with the default profile, its block lists pointed at zones
#     a loopback dnsmasq answers at once ("bl.test", "uribl.test"), and again
#     with the block-list rules switched off; prints ms per message for both,
#     the network checks' share, and the look-ups per message (from the log).
#  2. The example messages scored with the default profile as shipped
#     (bl.spamcop.net) in a namespace with no DNS server at all, and against
#     a DNS server that never answers: the time per message stays within the
#     look-up time-out.
#
# Runs in the network tests' private namespace (root, unshare); prints one
# SKIP line where that is not permitted.
#
# Usage: bench/net_profile.sh [quelta]   (default: build/native/quelta)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
quelta="${1:-$root/build/native/quelta}"
[ -x "$quelta" ] || { echo "net_profile: $quelta not built" >&2; exit 2; }
quelta="$(cd "$(dirname "$quelta")" && pwd)/$(basename "$quelta")"

if [ -z "${QUELTA_NET_PROFILE_INNER:-}" ]; then
  export QUELTA_NET_PROFILE_INNER=1
  exec "$root/tests/net/netns.sh" "$0" "$quelta"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
plugin_dir="$(dirname "$quelta")"

make_profile() {  # name, then INI lines for [EasyMode]
  local dir="$work/$1"; shift
  mkdir -p "$dir/Logs" "$dir/host"
  cp -r "$root/data/." "$dir/"
  cp "$plugin_dir/Quelta.tbp" "$dir/"
  printf '[AntiSpam]\r\nJunkScore=50\r\n' > "$dir/host/TBPlugin.INI"
  if [ $# -gt 0 ]; then printf '[EasyMode]\r\n%s\r\n' "$@" >> "$dir/Quelta.ini"; fi
  echo "$dir"
}

score() {  # profile, files... -> seconds
  local dir="$1"; shift
  local t0 t1
  t0=$(date +%s%N)
  "$quelta" --plugin-dir "$dir" --host-dir "$dir/host" --no-progress score "$@" >/dev/null || true
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000 ))
}

# ---- 1. Block lists answered at once -------------------------------------------
python3 - "$work/msgs" <<'PY'
import os, random, sys
out = sys.argv[1]; os.makedirs(out)
rnd = random.Random(7)
for i in range(1000):
    hops = []
    for h in range(3):
        ip = "%d.%d.%d.%d" % (rnd.choice([192, 198, 203, 127]), rnd.randrange(256), rnd.randrange(256), rnd.randrange(1, 255))
        if rnd.random() < 0.05: ip = "127.0.0.2"   # listed in bl.test
        hops.append("Received: from relay%d.example (relay%d.example [%s])\r\n\tby mx.example.org with ESMTP id %d%d;\r\n\tSun, 6 Dec 2026 10:%02d:00 +0000\r\n" % (h, h, ip, i, h, h))
    urls = " ".join("http://%s%d.example/x" % (rnd.choice(["shop", "news", "mail"]), rnd.randrange(100)) for _ in range(2))
    body = "Hello,\r\nplease see %s for the offer number %d.\r\n" % (urls, i)
    msg = "".join(hops) + "From: sender%d@example.com\r\nTo: you@example.org\r\nSubject: message %d\r\nDate: Sun, 6 Dec 2026 10:00:00 +0000\r\n\r\n%s" % (i, i, body)
    open(os.path.join(out, "m%04d.eml" % i), "w", newline="").write(msg)
PY

with_net="$(make_profile net)"
printf 'bl.test\r\n' > "$with_net/EasyDNSBL.dat"
printf 'uribl.test\r\n' > "$with_net/EasyURLBL.dat"
without_net="$(make_profile nonet 'DNSBL=0' 'URLBL=0')"

python3 "$root/tests/net/peers.py" --netns -- bash -c '
  set -e
  q="$1"; a="$2"; b="$3"; msgs="$4"
  run() { local t0=$(date +%s%N); "$q" --plugin-dir "$1" --host-dir "$1/host" --no-progress score "$msgs" >/dev/null || true; echo $(( ($(date +%s%N) - t0) / 1000 )); }
  run "$b" >/dev/null   # warm the file cache
  echo "with $(run "$a")"
  echo "without $(run "$b")"
' _ "$quelta" "$with_net" "$without_net" "$work/msgs" > "$work/times"

with_us=$(sed -n 's/^with //p' "$work/times")
without_us=$(sed -n 's/^without //p' "$work/times")
lookups=$(LC_ALL=C grep -ac -e '^DNSBL-Check:' -e '^URLBL-Check:' "$with_net/Logs/Filter.log" || true)
listed=$(LC_ALL=C grep -a -e '^DNSBL-Check:' -e '^URLBL-Check:' "$with_net/Logs/Filter.log" | LC_ALL=C grep -vac 'not listed' || true)
awk -v w="$with_us" -v wo="$without_us" -v n=1000 -v l="$lookups" -v hit="$listed" 'BEGIN {
  printf "net_profile: 1,000 messages, block lists answered at once by a loopback dnsmasq\n"
  printf "  with the block-list rules:    %.3f ms/msg\n", w / 1000 / n
  printf "  without them:                 %.3f ms/msg\n", wo / 1000 / n
  printf "  network checks share:         %.1f%% of the time per message\n", (w > 0 ? 100 * (w - wo) / w : 0)
  printf "  look-ups per message:         %.2f (%d logged, %d listed)\n", l / n, l, hit
}'

# ---- 2. No DNS server -------------------------------------------------------------
shipped="$(make_profile shipped)"
examples=("$root"/examples/spam/*.eml "$root"/examples/ham/*.eml)
n=${#examples[@]}
t=$(score "$shipped" "${examples[@]}")
max_lookup=$(LC_ALL=C sed -n 's/.*Time: \([0-9]*\) mSec\./\1/p' "$shipped/Logs/Filter.log" | sort -n | tail -1)
printf 'net_profile: default profile, no DNS server: %.1f ms/msg over %d examples, slowest look-up %s ms\n' \
  "$(awk -v t="$t" -v n="$n" 'BEGIN { print t / 1000 / n }')" "$n" "${max_lookup:-0}"

silent="$(make_profile silent)"
# A DNS server on the namespace's resolver address that reads and never answers.
python3 -c 'import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 53))
while True: s.recvfrom(4096)' &
sink=$!
sleep 0.3
t=$(score "$silent" "${examples[@]}")
kill $sink 2>/dev/null || true
max_lookup=$(LC_ALL=C sed -n 's/.*Time: \([0-9]*\) mSec\./\1/p' "$silent/Logs/Filter.log" | sort -n | tail -1)
printf 'net_profile: default profile, a DNS server that never answers: %.1f ms/msg, slowest look-up %s ms (time-out 250)\n' \
  "$(awk -v t="$t" -v n="$n" 'BEGIN { print t / 1000 / n }')" "${max_lookup:-0}"
