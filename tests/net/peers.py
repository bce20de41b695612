#!/usr/bin/env python3
# peers.py [--netns] -- COMMAND [ARGS...]: starts the loopback peers of the
# network tests, runs COMMAND with their ports in QUELTA_PEER_* variables,
# stops them and exits with the command's status. With --netns dnsmasq takes
# port 53, which the namespace's resolv.conf names.
import os, shutil, socket, struct, subprocess, sys, tempfile, threading, time
from functools import partial
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

HOST = "127.0.0.1"


def spawn(fn, *args):
    threading.Thread(target=fn, args=args, daemon=True).start()


def peer(env, name, handler, *args):  # a TCP server of its own, each connection on a thread
    listener = socket.create_server((HOST, 0))
    env["QUELTA_PEER_" + name] = str(listener.getsockname()[1])
    spawn(lambda: [spawn(handler, listener.accept()[0], *args) for _ in iter(int, 1)])


def free_port():
    with socket.create_server((HOST, 0)) as s:
        return s.getsockname()[1]


# ---- DNS: a scripted responder; what it does depends on the name asked -----
def name(dotted):
    return b"".join(bytes([len(l)]) + l.encode() for l in dotted.split(".") if l) + b"\0"


def rr(rtype, rdata, owner=b"\xc0\x0c"):
    return owner + struct.pack(">HHIH", rtype, 1, 60, len(rdata)) + rdata


def mx(pref, exchange):
    return rr(15, struct.pack(">H", pref) + name(exchange))


def reply(qid, question, answers=(), flags=0x8180):
    return struct.pack(">6H", qid, flags, 1, len(answers), 0, 0) + question + b"".join(answers)


def dns_responder(sock, spoof):
    late = []  # replies owed to earlier late.test queries
    while True:
        data, client = sock.recvfrom(4096)
        labels, pos = [], 12
        while pos < len(data) and data[pos]:
            labels.append(data[pos + 1:pos + 1 + data[pos]].decode("latin-1"))
            pos += 1 + data[pos]
        if pos + 5 > len(data):
            continue
        qid, question, qname = struct.unpack(">H", data[:2])[0], data[12:pos + 5], ".".join(labels).lower()
        send = lambda msg, s=sock, c=client: s.sendto(msg, c)
        # A late answer for an earlier look-up goes to whoever asks next.
        for msg in late:
            send(msg)
        late.clear()
        if qname == "late.test":
            late += [reply(qid, question, [mx(1, "late.evil.test")]), reply(qid, question, [rr(1, bytes([127, 0, 0, 66]))])]
        elif qname == "late.slow.test":  # the system resolver's late answer
            spawn(lambda m=reply(qid, question, [rr(1, bytes([127, 0, 0, 66]))]), f=send: (time.sleep(0.7), f(m)))
        elif qname == "wrongid.test":
            send(reply(qid ^ 1, question, [mx(1, "evil.test")]))
            send(reply(qid, question, [mx(5, "mx.wrongid.test")]))
        elif qname == "wrongq.test":
            send(reply(qid, name("other.test") + question[-4:], [mx(1, "evil.test")]))
            send(reply(qid, question, [mx(5, "mx.wrongq.test")]))
        elif qname == "spoof.test":  # first from another port
            send(reply(qid, question, [mx(1, "evil.test")]), spoof)
            time.sleep(0.05)
            send(reply(qid, question, [mx(5, "mx.spoof.test")]))
        elif qname in ("tc.test", "servfail.test", "garbage.test"):  # tc: truncated, the second record cut short
            send({"tc.test": reply(qid, question, [mx(10, "mx1.tc.test"), mx(5, "mx2.tc.test")], 0x8380)[:-7],
                  "servfail.test": reply(qid, question, flags=0x8182),
                  "garbage.test": data[:2] + bytes(range(256)) * 4}[qname])
        elif qname.startswith("mx."):
            send(reply(qid, question, [mx(10, "mx1." + qname)]))
        elif not qname.startswith("silent."):
            send(reply(qid, question, flags=0x8183))


DNSMASQ = """no-resolv no-hosts bind-interfaces listen-address=127.0.0.1 cache-size=0
address=/2.0.0.127.bl.test/127.0.0.2 address=/10.2.0.192.bl.test/127.0.0.10 address=/shop.test.uribl.test/127.0.0.3
host-record=relay.quelta.test,127.0.0.5 ptr-record=5.0.0.127.in-addr.arpa,relay.quelta.test
mx-host=mail.test,mx2.mail.test,20 mx-host=mail.test,mx1.mail.test,10 mx-host=pref65535.test,mx.pref65535.test,65535
local=/test/ local=/in-addr.arpa/ keep-in-foreground pid-file= log-facility=-"""


def start_dnsmasq(port, scripted_port, procs):
    exe = shutil.which("dnsmasq") or "/usr/sbin/dnsmasq"
    if not os.path.exists(exe):
        return None
    args = DNSMASQ.split() + ["port=%d" % port, "server=/slow.test/127.0.0.1#%d" % scripted_port]
    args += ["user=root"] * (os.geteuid() == 0)
    procs.append(subprocess.Popen([exe] + ["--" + a for a in args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    return wait_port(port)


def wait_port(port):
    for _ in range(50):
        try:
            return socket.create_connection((HOST, port), timeout=0.2).close() or port
        except OSError:
            time.sleep(0.1)


# ---- SMTP: a scripted server per case: {verb: reply}; "" is the greeting, "*"
# any verb not named; None sends nothing, b"" closes the connection. ---------
SMTP = {
    "OK": {},
    "GREET554": {"": b"554 mx.quelta.test no service here\r\n"},
    "EHLO502": {"EHLO": b"502 5.5.2 command not implemented\r\n"},
    "HELO_FAILS": {"EHLO": b"502 no\r\n", "HELO": b"501 5.5.4 go away\r\n"},
    "MAIL451": {"MAIL": b"451 4.3.0 try again later\r\n"},
    "RCPT550": {"RCPT": b"550 5.1.1 <x> user unknown\r\n"},
    "RCPT554": {"RCPT": b"554 5.7.1 relay access denied\r\n"},
    "MULTILINE": {"": b"220-mx.quelta.test ESMTP\r\n220-no spam please\r\n220 ready\r\n",
                  "RCPT": b"550-5.1.1 first line of the refusal \r\n550-second line\r\n550 5.1.1 last\r\n"},
    "BARE_LF": {"": b"220 lf only\n", "EHLO": b"250-one\n250 two\n", "RCPT": b"550 no such user\n"},
    "SILENT": {"*": None},
    "SILENT_MAIL": {"MAIL": None},
    "ENDLESS": {"": b"220-this line never ends the reply\r\n" * 30000},
    "HUGE_LINE": {"": b"220 " + b"x" * (1 << 20)},
    "CLOSE_RCPT": {"RCPT": b""},
}
SMTP_DEFAULT = {"": b"220 mx.quelta.test ESMTP ready\r\n", "EHLO": b"250-mx.quelta.test greets you\r\n250 HELP\r\n",
                "HELO": b"250 mx.quelta.test\r\n", "MAIL": b"250 2.1.0 ok\r\n", "RCPT": b"250 2.1.5 ok\r\n",
                "QUIT": b"221 2.0.0 bye\r\n"}
TRANSCRIPTS = {}


def smtp_session(conn, case):
    script, received, buf = SMTP[case], [], b""
    TRANSCRIPTS[case] = received
    verb = ""
    try:
        conn.settimeout(10)
        while True:
            answer = script.get(verb, script.get("*", SMTP_DEFAULT.get(verb, b"500 5.5.1 unknown\r\n")))
            if answer == b"":
                return
            conn.sendall(answer or b"")
            if verb == "QUIT":
                return
            while b"\r\n" not in buf:
                data = conn.recv(4096)
                if not data:
                    return
                buf += data
            line, buf = buf.split(b"\r\n", 1)
            received.append(line.decode("latin-1"))
            verb = received[-1].split(" ")[0].split(":")[0].upper()
    except OSError:
        pass
    finally:
        conn.close()


def transcript_session(conn):
    with conn:
        conn.settimeout(5)
        case = conn.makefile("rb").readline().decode().strip()
        conn.sendall(("\n".join(TRANSCRIPTS.get(case, [])) + "\n.\n").encode("latin-1"))


# ---- HTTP: version files at /<variant>/quelta.uvi --------------------------
VERSION_FILES = {
    "current": b"1.0.0.1|2026-01-15 10:30\r\n",
    "newer": b"1.0.0.12|2026-02-03 14:05\r\nfurther lines are not read\r\n",
    "nopipe": b"1.0.0.2 2026-02-03 14:05\n",
    "empty": b"",
    "baddate": b"1.0.0.2|soon\n",
    "oversized": b"9.9.9.9|2026-02-03 14:05\n" + b"#" * (70 * 1024),
    "limit": b"1.0.0.1|2026-01-15 10:30\n" + b"#" * (64 * 1024 - 25),
}


class Files(SimpleHTTPRequestHandler):
    log_message = lambda *args: None


def main(argv):
    netns, command = argv[0] == "--netns", argv[argv.index("--") + 1:]
    env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
    procs, tmp = [], tempfile.mkdtemp(prefix="quelta-peers-")
    try:
        dns, spoof = socket.socket(type=socket.SOCK_DGRAM), socket.socket(type=socket.SOCK_DGRAM)
        dns.bind((HOST, 0)), spoof.bind((HOST, 0))
        spawn(dns_responder, dns, spoof)
        env["QUELTA_PEER_DNS"] = str(dns.getsockname()[1])
        masq = start_dnsmasq(53 if netns else free_port(), dns.getsockname()[1], procs)
        env["QUELTA_PEER_DNSMASQ"] = str(masq or 0)
        for case in SMTP:
            peer(env, "SMTP_" + case, smtp_session, case)
        peer(env, "SMTP_TRANSCRIPT", transcript_session)
        env["QUELTA_PEER_SMTP_REFUSED"] = str(free_port())
        for variant, body in VERSION_FILES.items():
            os.makedirs(os.path.join(tmp, "www", variant))
            with open(os.path.join(tmp, "www", variant, "quelta.uvi"), "wb") as f:
                f.write(body)
        http = ThreadingHTTPServer((HOST, 0), partial(Files, directory=os.path.join(tmp, "www")))
        env["QUELTA_PEER_HTTP"] = str(http.server_address[1])
        spawn(http.serve_forever)
        if netns:
            env["QUELTA_NETNS"] = "1"
        return subprocess.call(command, env=env)
    finally:
        for p in procs:
            p.terminate()
            p.wait(5)
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
