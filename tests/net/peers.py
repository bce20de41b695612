#!/usr/bin/env python3
"""Loopback peers for the network tests: starts them, runs one command with
their ports in the environment, stops them, and exits with the command's
status.

  peers.py [--netns] -- COMMAND [ARGS...]

Peers (each on 127.0.0.1; ports handed over as QUELTA_PEER_* variables):
  DNS        a scripted responder whose behaviour depends on the name asked
             (late, silent, wrong identifier or question, spoofed source,
             truncated, pointer loops, error codes)
  DNSMASQ    dnsmasq serving the zone "test": block-list entries, PTR and MX
             records; names under slow.test are forwarded to the scripted
             responder. With --netns it listens on port 53 (the namespace's
             resolv.conf names it).
  SMTP_*     one scripted SMTP server per reply case; SMTP_TRANSCRIPT tells
             the commands a scenario's last session received
  EXIM       a real Exim on a loopback port (only as root, when installed)
  HTTP       version files under /<variant>/quelta.uvi; HTTP_SILENT never
             answers
"""
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HOST = "127.0.0.1"
THREADS = []


def spawn(fn, *args):
    t = threading.Thread(target=fn, args=args, daemon=True)
    t.start()
    THREADS.append(t)


# ---- DNS wire format ---------------------------------------------------------

def encode_name(name):
    out = b""
    for label in name.rstrip(".").split("."):
        if label:
            out += bytes([len(label)]) + label.encode()
    return out + b"\0"


def parse_query(data):
    """(id, qname, qtype, question bytes) of a query, or None."""
    if len(data) < 12:
        return None
    qid, flags, qd = struct.unpack(">HHH", data[:6])
    if qd != 1 or flags & 0x8000:
        return None
    pos, labels = 12, []
    while pos < len(data) and data[pos] != 0:
        n = data[pos]
        labels.append(data[pos + 1:pos + 1 + n].decode("latin-1"))
        pos += 1 + n
    pos += 1
    if pos + 4 > len(data):
        return None
    qtype = struct.unpack(">H", data[pos:pos + 2])[0]
    return qid, ".".join(labels).lower(), qtype, data[12:pos + 4]


def rr(owner, rtype, rdata, ttl=60):
    return owner + struct.pack(">HHIH", rtype, 1, ttl, len(rdata)) + rdata


def mx(pref, exchange):
    return rr(b"\xc0\x0c", 15, struct.pack(">H", pref) + encode_name(exchange))


def a(addr):
    return rr(b"\xc0\x0c", 1, socket.inet_aton(addr))


def reply(qid, question, answers=(), rcode=0, tc=False, qd=1):
    flags = 0x8180 | rcode | (0x0200 if tc else 0)
    return struct.pack(">HHHHHH", qid, flags, qd, len(answers), 0, 0) + question + b"".join(answers)


def dns_responder(sock, spoof):
    pending_late = []  # (id, question) of late.test queries not answered yet
    while True:
        data, client = sock.recvfrom(4096)
        q = parse_query(data)
        if q is None:
            continue
        qid, name, qtype, question = q
        # A late answer for an earlier look-up goes to whoever asks next.
        for late_id, late_q in pending_late:
            sock.sendto(reply(late_id, late_q, [mx(1, "late.evil.test")]), client)
            sock.sendto(reply(late_id, late_q, [a("127.0.0.66")]), client)
        pending_late.clear()

        label = name.split(".")[0]
        if name == "late.test":
            pending_late.append((qid, question))
        elif name in ("silent.test", "silent.slow.test"):
            pass
        elif name == "late.slow.test":  # the system resolver's late answer
            def answer_late(qid=qid, question=question, client=client):
                time.sleep(0.7)
                sock.sendto(reply(qid, question, [a("127.0.0.66")]), client)
            spawn(answer_late)
        elif name == "wrongid.test":
            sock.sendto(reply((qid + 1) & 0xFFFF, question, [mx(1, "evil.test")]), client)
            sock.sendto(reply(qid, question, [mx(5, "mx.wrongid.test")]), client)
        elif name == "wrongq.test":
            other = encode_name("other.test") + struct.pack(">HH", 15, 1)
            sock.sendto(reply(qid, other, [rr(b"\xc0\x0c", 15, b"\0\1" + encode_name("evil.test"))]), client)
            sock.sendto(reply(qid, question, [mx(5, "mx.wrongq.test")]), client)
        elif name == "spoof.test":
            spoof.sendto(reply(qid, question, [mx(1, "evil.test")]), client)
            time.sleep(0.05)
            sock.sendto(reply(qid, question, [mx(5, "mx.spoof.test")]), client)
        elif name == "truncated.test":
            full = reply(qid, question, [mx(10, "mx1.truncated.test"), mx(20, "mx2.truncated.test")])
            sock.sendto(full[:-7], client)
        elif name == "tc.test":
            full = reply(qid, question, [mx(10, "mx1.tc.test"), mx(5, "mx2.tc.test")], tc=True)
            sock.sendto(full[:-7], client)
        elif name == "loop.test":  # the exchange name points at itself
            rdata = b"\0\x0a" + b"\x02mx\xc0" + bytes([12 + len(question) + 12 + 2 + 3])
            sock.sendto(reply(qid, question, [rr(b"\xc0\x0c", 15, rdata)]), client)
        elif name == "forward.test":  # a pointer past the datagram's end
            rdata = b"\0\x0a" + b"\xc0\xff"
            sock.sendto(reply(qid, question, [rr(b"\xc0\x0c", 15, rdata)]), client)
        elif name == "servfail.test":
            sock.sendto(reply(qid, question, rcode=2), client)
        elif name == "nxdomain.test":
            sock.sendto(reply(qid, question, rcode=3), client)
        elif name == "garbage.test":
            sock.sendto(struct.pack(">H", qid) + bytes(range(256)) * 4, client)
        elif name == "cname.test":
            alias = rr(b"\xc0\x0c", 5, encode_name("real.cname.test"))
            target = encode_name("real.cname.test")
            sock.sendto(reply(qid, question, [alias, rr(target, 15, b"\0\7" + encode_name("mx.cname.test")),
                                              rr(encode_name("stranger.test"), 15,
                                                 b"\0\1" + encode_name("evil.test"))]), client)
        elif label == "mx":
            sock.sendto(reply(qid, question, [mx(10, "mx1." + name)]), client)
        else:
            sock.sendto(reply(qid, question, rcode=3), client)


def start_dns():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((HOST, 0))
    spoof = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    spoof.bind((HOST, 0))
    spawn(dns_responder, sock, spoof)
    return sock.getsockname()[1]


# ---- dnsmasq --------------------------------------------------------------------

DNSMASQ_ZONE = """\
no-resolv
no-hosts
bind-interfaces
listen-address=127.0.0.1
cache-size=0
address=/2.0.0.127.bl.test/127.0.0.2
address=/10.2.0.192.bl.test/127.0.0.10
address=/shop.test.uribl.test/127.0.0.3
host-record=mx1.mail.test,127.0.0.1
host-record=relay.quelta.test,127.0.0.5
ptr-record=5.0.0.127.in-addr.arpa,relay.quelta.test
mx-host=mail.test,mx2.mail.test,20
mx-host=mail.test,mx1.mail.test,10
mx-host=pref65535.test,mx.pref65535.test,65535
local=/test/
local=/in-addr.arpa/
"""


def free_port(kind=socket.SOCK_DGRAM):
    s = socket.socket(socket.AF_INET, kind)
    s.bind((HOST, 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_dns(port):
    q = struct.pack(">HHHHHH", 7, 0x0100, 1, 0, 0, 0) + encode_name("mail.test") + struct.pack(">HH", 15, 1)
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(0.1)
    for _ in range(50):
        try:
            s.sendto(q, (HOST, port))
            s.recvfrom(512)
            return True
        except OSError:
            time.sleep(0.1)
    return False


def start_dnsmasq(tmp, port, scripted_port, procs):
    exe = shutil.which("dnsmasq") or "/usr/sbin/dnsmasq"
    if not os.path.exists(exe):
        return None
    conf = os.path.join(tmp, "dnsmasq.conf")
    with open(conf, "w") as f:
        f.write(DNSMASQ_ZONE)
        f.write("port=%d\nserver=/slow.test/127.0.0.1#%d\n" % (port, scripted_port))
    args = [exe, "--keep-in-foreground", "--conf-file=" + conf, "--pid-file=", "--log-facility=-"]
    if os.geteuid() == 0:
        args.append("--user=root")
    p = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    procs.append(p)
    return port if wait_dns(port) else None


# ---- SMTP -----------------------------------------------------------------------

OK_EHLO = b"250-mx.quelta.test greets you\r\n250-SIZE 1000000\r\n250 HELP\r\n"
SCENARIOS = {
    # name: {command verb: reply bytes}; "greeting" is sent on connect;
    # None means never answer.
    "OK": {},
    "GREET554": {"greeting": b"554 mx.quelta.test no service here\r\n"},
    "EHLO502": {"EHLO": b"502 5.5.2 command not implemented\r\n"},
    "HELO_FAILS": {"EHLO": b"502 no\r\n", "HELO": b"501 5.5.4 go away\r\n"},
    "MAIL451": {"MAIL": b"451 4.3.0 try again later\r\n"},
    "RCPT550": {"RCPT": b"550 5.1.1 <x> user unknown\r\n"},
    "RCPT554": {"RCPT": b"554 5.7.1 relay access denied\r\n"},
    "MULTILINE": {"greeting": b"220-mx.quelta.test ESMTP\r\n220-no spam please\r\n220 ready\r\n",
                  "RCPT": b"550-5.1.1 first line of the refusal \r\n550-second line\r\n550 5.1.1 last\r\n"},
    "BARE_LF": {"greeting": b"220 lf only\n", "EHLO": b"250-one\n250 two\n", "RCPT": b"550 no such user\n"},
    "SILENT": {"greeting": None},
    "SILENT_MAIL": {"MAIL": None},
    "ENDLESS": {"greeting": "endless"},
    "HUGE_LINE": {"greeting": "huge"},
    "CLOSE_RCPT": {"RCPT": "close"},
}
TRANSCRIPTS = {}


def smtp_session(conn, scenario):
    script = SCENARIOS[scenario]
    received = []
    TRANSCRIPTS[scenario] = received
    conn.settimeout(10)

    def send(what, default):
        what = script.get(what, default) if isinstance(what, str) else what
        if what is None:
            time.sleep(10)
            return False
        if what == "close":
            return False
        if what == "endless":
            deadline = time.time() + 5
            while time.time() < deadline:
                conn.sendall(b"220-this line never ends the reply\r\n" * 64)
            return False
        if what == "huge":
            conn.sendall(b"220 " + b"x" * (1 << 20))
            time.sleep(2)
            return False
        conn.sendall(what)
        return True

    try:
        if not send("greeting", b"220 mx.quelta.test ESMTP ready\r\n"):
            return
        buf = b""
        while True:
            data = conn.recv(4096)
            if not data:
                return
            buf += data
            while b"\r\n" in buf:
                line, buf = buf.split(b"\r\n", 1)
                text = line.decode("latin-1")
                received.append(text)
                verb = text.split(" ")[0].split(":")[0].upper()
                defaults = {"EHLO": OK_EHLO, "HELO": b"250 mx.quelta.test\r\n", "MAIL": b"250 2.1.0 ok\r\n",
                            "RCPT": b"250 2.1.5 ok\r\n", "QUIT": b"221 2.0.0 bye\r\n"}
                if not send(verb, defaults.get(verb, b"500 5.5.1 unknown\r\n")) or verb == "QUIT":
                    return
    except OSError:
        pass
    finally:
        conn.close()


def serve(listener, handler, *args):
    while True:
        conn, _ = listener.accept()
        spawn(handler, conn, *args)


def listen():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((HOST, 0))
    s.listen(16)
    return s


def transcript_session(conn):
    try:
        conn.settimeout(5)
        name = b""
        while not name.endswith(b"\n"):
            data = conn.recv(256)
            if not data:
                return
            name += data
        lines = TRANSCRIPTS.get(name.decode().strip(), [])
        conn.sendall(("\n".join(lines) + "\n.\n").encode("latin-1"))
    finally:
        conn.close()


def start_smtp(env):
    for name in SCENARIOS:
        s = listen()
        env["QUELTA_PEER_SMTP_" + name] = str(s.getsockname()[1])
        spawn(serve, s, smtp_session, name)
    s = listen()
    env["QUELTA_PEER_SMTP_TRANSCRIPT"] = str(s.getsockname()[1])
    spawn(serve, s, transcript_session)
    env["QUELTA_PEER_SMTP_REFUSED"] = str(free_port(socket.SOCK_STREAM))


EXIM_CONF = """\
primary_hostname = mx.quelta.test
spool_directory = {tmp}/exim/spool
log_file_path = {tmp}/exim/%slog
pid_file_path = {tmp}/exim/exim.pid
exim_user = Debian-exim
exim_group = Debian-exim
never_users =
keep_environment =
local_interfaces = 127.0.0.1
host_lookup =
rfc1413_hosts =
tls_advertise_hosts =
acl_smtp_mail = acl_mail
acl_smtp_rcpt = acl_rcpt
begin acl
acl_mail:
  deny senders = *@blocked.quelta.test
       message = 5.7.1 sender blocked
  accept
acl_rcpt:
  accept recipients = known@quelta.test
  deny message = 5.1.1 unknown user
"""


def start_exim(tmp, env, procs):
    exe = shutil.which("exim4") or "/usr/sbin/exim4"
    if os.geteuid() != 0 or not os.path.exists(exe):
        return
    import pwd
    try:
        user = pwd.getpwnam("Debian-exim")
    except KeyError:
        return
    os.makedirs(os.path.join(tmp, "exim", "spool"))
    for d in (os.path.join(tmp, "exim"), os.path.join(tmp, "exim", "spool")):
        os.chown(d, user.pw_uid, user.pw_gid)
    conf = os.path.join(tmp, "exim.conf")  # exim wants it root's, not group-writable
    with open(conf, "w") as f:
        f.write(EXIM_CONF.format(tmp=tmp))
    os.chmod(conf, 0o644)
    os.chmod(tmp, 0o755)
    port = free_port(socket.SOCK_STREAM)
    p = subprocess.Popen([exe, "-C", conf, "-bdf", "-oX", str(port), "-odq"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    procs.append(p)
    for _ in range(50):
        try:
            socket.create_connection((HOST, port), timeout=0.2).close()
            env["QUELTA_PEER_EXIM"] = str(port)
            return
        except OSError:
            time.sleep(0.1)


# ---- HTTP -----------------------------------------------------------------------

VERSION_FILES = {
    "current": b"1.0.0.1|2026-01-15 10:30\r\n",
    "newer": b"1.0.0.12|2026-02-03 14:05\r\nfurther lines are not read\r\n",
    "three": b"1.0.1|2026-02-03 14:05\n",
    "nopipe": b"1.0.0.2 2026-02-03 14:05\n",
    "empty": b"",
    "blank": b"   ",
    "lastline": b"  1.0.0.1|2026-01-15 10:30  ",
    "baddate": b"1.0.0.2|soon\n",
    "oversized": b"9.9.9.9|2026-02-03 14:05\n" + b"#" * (70 * 1024),
    "limit": b"1.0.0.1|2026-01-15 10:30\n" + b"#" * (64 * 1024 - 25),
}


class VersionHandler(BaseHTTPRequestHandler):
    def do_GET(self):
        parts = self.path.strip("/").split("/")
        body = VERSION_FILES.get(parts[0]) if len(parts) == 2 and parts[1] == "quelta.uvi" else None
        if body is None:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def silent_session(conn):
    time.sleep(30)
    conn.close()


def start_http(env):
    server = ThreadingHTTPServer((HOST, 0), VersionHandler)
    server.daemon_threads = True
    env["QUELTA_PEER_HTTP"] = str(server.server_address[1])
    spawn(server.serve_forever)
    s = listen()
    env["QUELTA_PEER_HTTP_SILENT"] = str(s.getsockname()[1])
    spawn(serve, s, silent_session)


# ---- main -----------------------------------------------------------------------

def main(argv):
    netns = "--netns" in argv[: argv.index("--")] if "--" in argv else False
    if "--" not in argv or argv.index("--") == len(argv) - 1:
        print(__doc__, file=sys.stderr)
        return 2
    command = argv[argv.index("--") + 1:]
    env = dict(os.environ)
    for k in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
        env.pop(k, None)
    procs = []
    tmp = tempfile.mkdtemp(prefix="quelta-peers-")
    try:
        dns_port = start_dns()
        env["QUELTA_PEER_DNS"] = str(dns_port)
        masq = start_dnsmasq(tmp, 53 if netns else free_port(), dns_port, procs)
        if masq:
            env["QUELTA_PEER_DNSMASQ"] = str(masq)
        else:
            print("peers: dnsmasq not available; its tests are skipped", file=sys.stderr)
        start_smtp(env)
        start_exim(tmp, env, procs)
        if "QUELTA_PEER_EXIM" not in env:
            print("peers: exim not available (needs root and exim4); its test is skipped", file=sys.stderr)
        start_http(env)
        if netns:
            env["QUELTA_NETNS"] = "1"
        return subprocess.call(command, env=env)
    finally:
        for p in procs:
            p.send_signal(signal.SIGTERM)
        for p in procs:
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
