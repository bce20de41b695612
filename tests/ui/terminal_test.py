#!/usr/bin/env python3
"""The dialogs of `quelta setup` in a real terminal.

tmux runs the command on a scratch profile in a private server; keys go in
with send-keys, the screen comes back with capture-pane (with attributes, so
colours, dimmed controls and the focus can be read) and the cursor position
with display-message. Every step waits for the screen it expects. Then the
files the dialogs wrote are checked byte for byte.

Usage: terminal_test.py QUELTA SOURCE_DIR   (exit 77: tmux cannot run here)
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

SKIP = 77
WIDTH, HEIGHT = 80, 24


class Failed(Exception):
    pass


class Screen:
    """One run of `quelta setup` in a tmux pane."""

    def __init__(self, tmux, sock, work):
        self.tmux_bin, self.sock, self.work = tmux, sock, work

    def tmux(self, *args):
        return subprocess.run([self.tmux_bin, "-S", self.sock, *args], capture_output=True,
                              text=True, encoding="utf-8", errors="replace")

    def start(self, args, env=None):
        self.runs = getattr(self, "runs", 0) + 1
        self.sock = os.path.join(self.work, "tmux%d.sock" % self.runs)
        self.rc_file = os.path.join(self.work, "rc")
        if os.path.exists(self.rc_file):
            os.remove(self.rc_file)
        setting = " ".join("%s=%s" % (k, sh(v)) for k, v in (env or {}).items())
        cmd = "env LANG=C.UTF-8 LC_ALL=C.UTF-8 %s %s setup; echo $? >%s" % (
            setting, " ".join(sh(a) for a in args), sh(self.rc_file))
        r = self.tmux("-f", "/dev/null", "new-session", "-d", "-x", str(WIDTH), "-y", str(HEIGHT),
                      "-c", self.work, "sh", "-c", cmd)
        if r.returncode != 0:
            raise Failed("tmux new-session: " + r.stderr.strip())

    def keys(self, *keys):
        self.tmux("send-keys", *keys)

    def type(self, text):
        self.tmux("send-keys", "-l", text)

    def rows(self):
        """The screen as rows of (text, cells); a cell is (char, attributes)."""
        out = self.tmux("capture-pane", "-p", "-e").stdout
        return [parse_sgr(line) for line in out.split("\n")[:HEIGHT]]

    def text(self):
        return "\n".join(t for t, _ in self.rows())

    def cursor(self):
        x, y = self.tmux("display-message", "-p", "#{cursor_x} #{cursor_y}").stdout.split()
        return int(y), int(x)

    def wait(self, what, test, timeout=10):
        end = time.time() + timeout
        while time.time() < end:
            if test():
                return
            time.sleep(0.05)
        raise Failed("waited in vain for %s; the screen:\n%s" % (what, self.text()))

    def see(self, *texts):
        self.wait(" and ".join(repr(t) for t in texts), lambda: all(t in self.text() for t in texts))

    def gone(self, text):
        self.wait("%r to go" % text, lambda: text not in self.text())

    def row_of(self, label):
        for y, (t, cells) in enumerate(self.rows()):
            if label in t:
                return y, t.index(label), t, cells
        raise Failed("%r is not on the screen:\n%s" % (label, self.text()))

    def focused(self, label):
        """The control named by label has the focus: the cursor is in its check box, on its
        caption, or in the field right after it."""
        cy, cx = self.cursor()
        for y, (t, _) in enumerate(self.rows()):
            x = t.find(label)
            if x < 0 or y != cy:
                continue
            end = x + len(label)
            if cx in (x - 3, x):
                return True
            start, close = t.rfind("[", 0, cx + 1), t.find("]", cx)
            between = t[end:start]
            if cx > end and start >= end and close - start > 4 and not set("[]>") & set(between):
                return True
        return False

    def tab_to(self, label, key="Tab"):
        for _ in range(60):
            if self.focused(label):
                return
            before = self.cursor()
            self.keys(key)
            self.wait("the focus to move", lambda: self.cursor() != before, timeout=3)
        raise Failed("Tab never reached %r:\n%s" % (label, self.text()))

    def to_tabs(self):
        """Shift-Tab back to the page tabs (the screen's second row)."""
        for _ in range(60):
            if self.cursor()[0] == 1:
                return
            before = self.cursor()
            self.keys("BTab")
            self.wait("the focus to move", lambda: self.cursor() != before, timeout=3)
        raise Failed("Shift-Tab never reached the page tabs:\n" + self.text())

    def attrs_of(self, label):
        """The attributes of the first character of label."""
        y, x, t, cells = self.row_of(label)
        return cells[x][1]

    def exit_code(self):
        self.wait("quelta to end", lambda: os.path.exists(self.rc_file) and
                  open(self.rc_file).read().strip() != "")
        with open(self.rc_file) as f:
            return int(f.read())


def sh(s):
    return "'" + str(s).replace("'", "'\\''") + "'"


SGR = re.compile(r"\x1b\[([0-9;]*)m")


def parse_sgr(line):
    """Text and per-character attributes {bold, dim, reverse, fg} of a captured line."""
    attrs = {"bold": False, "dim": False, "reverse": False, "fg": None}
    text, cells, pos = "", [], 0
    for m in SGR.finditer(line + "\x1b[m"):
        for ch in line[pos:m.start()]:
            text += ch
            cells.append((ch, dict(attrs)))
        pos = m.end()
        codes = [int(c) if c else 0 for c in m.group(1).split(";")] if m.group(1) else [0]
        i = 0
        while i < len(codes):
            c = codes[i]
            if c == 0:
                attrs.update(bold=False, dim=False, reverse=False, fg=None)
            elif c == 1:
                attrs["bold"] = True
            elif c == 2:
                attrs["dim"] = True
            elif c == 22:
                attrs.update(bold=False, dim=False)
            elif c == 7:
                attrs["reverse"] = True
            elif c == 27:
                attrs["reverse"] = False
            elif 30 <= c <= 37:
                attrs["fg"] = c - 30
            elif c == 39:
                attrs["fg"] = None
            elif c in (38, 48):
                i += 2 if codes[i + 1:i + 2] == [5] else 4
            i += 1
    return text, cells


BLUE, GREEN, OLIVE, RED = 4, 2, 3, 1


def address_book(addresses):
    """A book in the host's format holding the addresses."""
    records, offsets = b"", []
    for a in addresses:
        data = b"xxxxx\x9d\xff\xff\xff" + struct.pack("<I", len(a)) + a.encode()
        offsets.append(len(records))
        records += b"\x11" * 16 + struct.pack("<I", len(data)) + b"\x22" * 8 + data
    book = struct.pack("<6I", 0x19988991, 24, 7, 9, len(addresses), len(addresses))
    for off in offsets:
        book += struct.pack("<3I", 0xABCDEF01, 1, off) + b"\x33"
    return book + records


class Test:
    def __init__(self, quelta, src, tmux, work):
        self.quelta, self.src, self.work = quelta, src, work
        self.screen = Screen(tmux, os.path.join(work, "tmux.sock"), work)
        self.passed, self.failed = 0, 0

    def check(self, name, ok):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAILED: " + name)

    def profile(self, name, ini="[Main]\r\nLanguage=Deutsch (intern)\r\n[EasyMode]\r\nEnabled=1\r\n", files=None):
        p = os.path.join(self.work, name)
        os.makedirs(os.path.join(p, "Logs"))
        os.makedirs(os.path.join(p, "Language"))
        shutil.copy(os.path.join(self.src, "data", "Language", "English.lng"), os.path.join(p, "Language"))
        files = dict(files or {})
        files.setdefault("Quelta.ini", ini)
        for f in ("Rules.dat", "Whitelist.txt", "Blacklist.txt", "SubDomains.lst", "EasyRules.dat"):
            files.setdefault(f, "")
        for f, data in files.items():
            with open(os.path.join(p, f), "wb") as out:
                out.write(data if isinstance(data, bytes) else data.encode("cp1252"))
        return p

    def run(self, profile, env=None):
        self.screen.start([self.quelta, "--profile", profile], env)
        self.screen.see("Statistik")

    def read(self, profile, name):
        path = os.path.join(profile, name)
        return open(path, "rb").read() if os.path.exists(path) else None

    def log(self, profile):
        return (self.read(profile, "Logs/Filter.log") or b"").decode("cp1252")

    # ---- The scenarios ----

    def no_terminal(self):
        p = self.profile("noterm")
        cases = [("TERM unset", {}, 'TERM is not set'),
                 ("TERM=dumb", {"TERM": "dumb"}, 'TERM is "dumb"'),
                 ("no /dev/tty", {"TERM": "xterm"}, "no controlling terminal (/dev/tty)")]
        for name, extra, reason in cases:
            env = {k: v for k, v in os.environ.items() if k != "TERM"}
            env.update(extra)
            # setsid: a new session without a controlling terminal.
            r = subprocess.run(["setsid", "-w", self.quelta, "--profile", p, "setup"], env=env,
                               stdin=subprocess.DEVNULL, capture_output=True)
            line = "WARNING: Options dialog not shown: no terminal to show it on (%s)." % reason
            self.check(name + ": exit 0, one log line, nothing on the streams",
                       r.returncode == 0 and self.log(p).count(line) == 1 and r.stdout == b"")
        self.check("no settings written without a terminal", b"MaxMsgSize" not in self.read(p, "Quelta.ini"))

    def general_page_and_ok(self):
        s = self.screen
        # An update server that is not there: the check fails at once.
        p = self.profile("general", "[Main]\r\nLanguage=Deutsch (intern)\r\n[Update]\r\nServer=http://127.0.0.1:1/\r\n")
        self.run(p)
        s.keys("Right")
        s.see("[Allgemein]")
        s.tab_to("Maximale Nachrichtengr")
        s.type("50")
        s.wait("50 to become 30", lambda: "[30 " in s.row_of("Maximale Nachrichtengr")[2])
        s.keys("Tab")
        s.type("abc")
        s.see("[abc")
        s.keys("Tab")
        s.wait("abc to leave 100", lambda: "[100 " in s.row_of("Maximale Datenfeldgr")[2])
        s.keys("PPage", "PPage")  # the up-down arrows on MaxRegExpSize
        s.wait("32 to step to 34", lambda: "[34 " in s.row_of("Maximale RegEx")[2])
        s.tab_to("Filterung beenden ab Score")
        s.type("70000")  # the up-down control's 16 bits: 70000 is 4464
        s.keys("Tab")
        s.wait("70000 to become 4464", lambda: "[4464 " in s.row_of("Filterung beenden ab Score")[2])
        self.check("the interval is dimmed while the update check is off", s.attrs_of("Intervall (Tage)")["dim"])
        s.tab_to("Automatisch nach neuen Versionen")
        s.keys("Space")
        s.wait("the interval to be enabled", lambda: not s.attrs_of("Intervall (Tage)")["dim"])
        s.keys("Tab")
        s.wait("Tab to reach the enabled interval", lambda: s.focused("Intervall (Tage)"))
        # The manual update check tells its outcome on the plain terminal; Enter comes back.
        s.tab_to("Jetzt pr")
        s.keys("Enter")
        s.see("ist ein Fehler aufgetreten!", "Enter: Ok")
        s.keys("Enter")
        s.see("[Allgemein]", "Jetzt pr")
        # The Bayes page: switching the filter off dims and skips its options.
        s.to_tabs()
        s.keys("Right", "Right")
        s.see("[Bayes]")
        self.check("the Bayes options are enabled while the filter is on",
                   not s.attrs_of("Signifikante W")["dim"])
        s.tab_to("Bayes-Filter aktivieren")
        s.keys("Space")
        s.wait("the Bayes options to be dimmed", lambda: s.attrs_of("Signifikante W")["dim"])
        self.check("the learning thresholds are dimmed too", s.attrs_of("Als Spam lernen bei Score")["dim"])
        s.keys("Tab")
        s.wait("the focus to skip to the delete button", lambda: s.focused("Bayes-Datenbank l"))
        s.keys("Enter")  # the delete button asks first; No is the default
        s.see("Sollen die Bayes-Datenbanken gel")
        s.keys("Enter")
        s.gone("Sollen die Bayes-Datenbanken gel")
        s.keys("Tab")
        s.wait("Hilfe", lambda: s.focused("Hilfe"))
        s.keys("Tab", "Enter")  # Ok
        self.check("Ok: exit 0", s.exit_code() == 0)
        ini = self.read(p, "Quelta.ini").decode("cp1252")
        for key in ("MaxMsgSize=30\r\n", "MaxDataSize=100\r\n", "MaxRegExpSize=34\r\n", "BreakAtScore=4464\r\n"):
            self.check("Ok writes " + key.strip(), key in ini)
        self.check("Ok writes the update switch and the Bayes switch",
                   re.search(r"\[Update\][^\[]*Enabled=1", ini) and re.search(r"\[Bayes\][^\[]*Enabled=0", ini))

    def cancel_keeps_the_file(self):
        s = self.screen
        ini = "[Main]\r\nLanguage=Deutsch (intern)\r\nMaxMsgSize=7\r\n[EasyMode]\r\nEnabled=1\r\n"
        p = self.profile("cancel", ini)
        self.run(p)
        s.keys("Right")
        s.tab_to("Sprache")
        s.keys("Enter")
        s.see("English")
        s.keys("Down", "Enter")
        s.see("[General]", "Maximum message size")  # relabelled at once
        s.tab_to("Maximum message size")
        s.type("3")
        s.keys("Escape")
        self.check("cancel: exit 0", s.exit_code() == 0)
        after = self.read(p, "Quelta.ini").decode("cp1252")
        self.check("cancel writes no setting (the language neither)",
                   after.split("[Statistics]")[0] == ini)

    def statistics(self):
        s = self.screen
        ini = ("[Main]\r\nLanguage=Deutsch (intern)\r\n[Statistics]\r\nMessagesFiltered=10\r\nClassAsSpam=4\r\n"
               "ClassAsHam=6\r\nBayesMessagesChecked=100\r\nBayesReClassAsSpam=5\r\nBayesReClassAsHam=3\r\n")
        p = self.profile("stats", ini, {"Bayes.wdb": b"x", "Bayes.udb": b"y"})
        self.run(p)
        s.see("Gefilterte Nachrichten: 10 (4 Spam, 6 Ham)", "Spam-Aufkommen:         40.00%",
              "Filtereffizienz:        92.00%")
        y, x, t, cells = s.row_of("Sonstiges")
        self.check("headings are bold blue", cells[x][1]["fg"] == BLUE and cells[x][1]["bold"])
        self.check("an efficiency of 92% is green", s.attrs_of("Filtereffizienz")["fg"] == GREEN)
        self.check("an empty Bayes database is red", s.attrs_of("Mails in der Datenbank")["fg"] == RED)
        s.tab_to("Statistik zur")
        s.keys("Enter")
        s.see("Soll die Statistik zur")
        s.keys("Enter")  # No
        s.gone("Soll die Statistik zur")
        self.check("No keeps the counters", "Gefilterte Nachrichten: 10" in s.text())
        s.keys("Enter")
        s.see("Soll die Statistik zur")
        s.keys("Left", "Enter")  # Yes
        s.see("Gefilterte Nachrichten: 0 (0 Spam, 0 Ham)")
        self.check("without scored messages neither density nor efficiency",
                   "Spam-Aufkommen" not in s.text() and "Filtereffizienz" not in s.text())
        # Deleting the Bayes databases.
        s.to_tabs()
        s.keys("Left")
        s.see("[Bayes]")
        s.tab_to("Bayes-Datenbank l")
        s.keys("Enter")
        s.see("Sollen die Bayes-Datenbanken gel")
        s.keys("Left", "Enter")
        s.see("Bitte beenden Sie The Bat! sofort.")
        self.check("both databases are gone at once",
                   self.read(p, "Bayes.wdb") is None and self.read(p, "Bayes.udb") is None)
        s.keys("Enter")
        s.gone("Bitte beenden Sie")
        s.keys("Escape")
        self.check("stats: exit 0", s.exit_code() == 0)
        self.check("shutdown writes the reset counters and no database",
                   "MessagesFiltered=0\r\n" in self.read(p, "Quelta.ini").decode("cp1252") and
                   self.read(p, "Bayes.wdb") is None and self.read(p, "Bayes.udb") is None)

    def open_easy_page(self, p, env=None):
        s = self.screen
        self.run(p, env)
        s.keys("Right", "Right")
        s.see("[Filterung]")

    def rule_editor(self):
        s = self.screen
        rows = "Subject\x01sbn\x01free\x0132767\x01lower code\r\nFrom\x01R\x01x\x01-15\x01user score\r\n"
        p = self.profile("rules", files={"EasyMode.rdb": rows})
        self.open_easy_page(p)
        s.tab_to("Regeln...")
        s.keys("Enter")
        s.see("Regeln bearbeiten", "Datenfeld", "Kommentar")
        y, x, t, _ = s.row_of("lower code")
        self.check("a lower-case code shows as its text, 32767 as Spam",
                   "beginnt nicht mit" in t and "Spam" in t and "free" in t)
        self.check("a user score shows as written", "-15" in s.row_of("user score")[2])
        # Insert: a new rule; a comment with "]" is refused first.
        s.keys("IC")
        s.see("Neue Regel erstellen")
        s.type("To")
        s.keys("Tab", "Enter")
        s.see("entspricht nicht (RegEx)")  # the comparison list
        s.keys("Down", "Down", "Enter")
        s.keys("Tab")
        s.type("bob")
        s.tab_to("Nachricht als Ham einstufen")
        s.keys("Space")
        s.tab_to("Kommentar:")
        s.type("a]b")
        s.keys("Enter")
        s.see("Im Feld \"Kommentar\" sind keine eckigen Klammern erlaubt!")
        s.keys("Enter")
        s.gone("eckigen Klammern")
        s.keys("BSpace", "BSpace", "BSpace")
        s.type("ham rule")
        s.keys("Enter")
        s.gone("Neue Regel erstellen")
        self.check("the new row: field, comparison, term, Ham",
                   all(w in s.row_of("ham rule")[2] for w in ("To", "beginnt mit", "bob", "Ham")))
        # Enter: edit the first row; a user score of 12, one arrow step up (5).
        s.keys("Home", "Enter")
        s.see("Regel bearbeiten", "(*) Nachricht als Spam")
        s.tab_to("Benutzerdefiniert")
        s.keys("Space", "Tab")
        s.type("12")
        s.keys("PPage")
        s.wait("12 to step to 17", lambda: "[17 " in s.row_of("Benutzerdefiniert")[2])
        s.keys("Enter")
        s.gone("(*) Benutzerdefiniert")
        self.check("the edited row shows the user score", "17" in s.row_of("lower code")[2])
        # Delete: the second row (From), after Yes.
        s.keys("Down", "DC")
        s.see("Soll die ausgew\u00e4hlte Regel gel\u00f6scht werden?")
        s.keys("Left", "Enter")
        s.gone("user score")
        # Down: the first row goes below the new one.
        s.keys("Home")
        s.tab_to("Abw\u00e4rts")
        s.keys("Enter")
        s.tab_to("Ok")
        s.keys("Enter")
        s.see("[Filterung]")
        self.check("Ok writes the rows in list order, codes in upper case",
                   self.read(p, "EasyMode.rdb") ==
                   b"To\x01SB\x01bob\x01-32768\x01ham rule\r\nSubject\x01SBN\x01free\x0117\x01lower code\r\n")
        # Cancel discards.
        s.tab_to("Regeln...")
        s.keys("Enter")
        s.see("ham rule")
        s.keys("DC")
        s.keys("Left", "Enter")
        s.gone("ham rule")
        s.keys("Escape")
        s.see("[Filterung]")
        self.check("cancel leaves EasyMode.rdb", b"ham rule" in self.read(p, "EasyMode.rdb"))
        s.keys("Escape")
        self.check("rules: exit 0", s.exit_code() == 0)

    def list_editor(self):
        s = self.screen
        p = self.profile("lists", files={"Whitelist.txt": "*@friend.example\r\n"})
        self.open_easy_page(p)
        s.tab_to("DNSBL-Server...")
        s.keys("Enter")
        s.see("DNSBL-Server bearbeiten", "Tragen Sie hier jene DNSBL-Server")
        s.type("zen.example.org")
        s.keys("Enter")
        s.type("# off")
        s.keys("Tab", "Enter")
        s.see("[Filterung]")
        self.check("Ok creates EasyDNSBL.dat", self.read(p, "EasyDNSBL.dat") == b"zen.example.org\r\n# off\r\n")
        s.tab_to("Whitelist...")
        s.keys("Enter")
        s.see("Whitelist.txt bearbeiten", "*@friend.example")
        s.type("x")
        s.keys("Escape")
        s.see("[Filterung]")
        self.check("cancel leaves Whitelist.txt", self.read(p, "Whitelist.txt") == b"*@friend.example\r\n")
        s.keys("Escape")
        self.check("lists: exit 0", s.exit_code() == 0)

    def address_books(self):
        s = self.screen
        host = os.path.join(self.work, "hostdir")
        os.makedirs(host)
        with open(os.path.join(host, "inhost.abd"), "wb") as f:
            f.write(address_book(["a@example.org"]))
        books = {"full.abd": address_book(["friend@example.org"]), "empty.abd": address_book([]),
                 "broken.abd": b"not a book at all, not at all"}
        for name, data in books.items():
            with open(os.path.join(self.work, name), "wb") as f:
                f.write(data)
        listed = "missing.abd\r\n%s\r\n%s\r\ninhost.abd\r\n" % (
            os.path.join(self.work, "broken.abd"), os.path.join(self.work, "empty.abd"))
        p = self.profile("books", files={"EasyAddrBooks.dat": listed})
        self.open_easy_page(p, {"QUELTA_HOST_WORKDIR": host})
        s.tab_to("Adressb\u00fccher...")
        s.keys("Enter")
        s.see("Adressb\u00fccher verwalten")
        states = [s.row_of(name)[2] for name in ("missing.abd", "broken.abd", "empty.abd", "inhost.abd")]
        self.check("the four states", all(w in t for w, t in zip(
            ("Nicht gefunden", "Falsches Format", "Leer", "OK"), states)))
        s.keys("IC")
        s.see("Addressbuchdatei ausw\u00e4hlen", "The Bat! Adressbuch (*.ABD), Alle Dateien (*.*)")
        s.type("full.abd")  # relative to the current folder
        s.keys("Enter")
        s.see(os.path.join(self.work, "full.abd"))
        self.check("an added book shows its state", "OK" in s.row_of(os.path.join(self.work, "full.abd"))[2])
        s.keys("Home", "DC")
        s.gone("missing.abd")
        s.keys("Enter")  # the default button: Ok
        s.see("[Filterung]")
        self.check("Ok writes the names in order", self.read(p, "EasyAddrBooks.dat") == (
            "%s\r\n%s\r\ninhost.abd\r\n%s\r\n" % (os.path.join(self.work, "broken.abd"),
                                                 os.path.join(self.work, "empty.abd"),
                                                 os.path.join(self.work, "full.abd"))).encode())
        s.keys("Escape")
        self.check("books: exit 0", s.exit_code() == 0)

    def help(self):
        s = self.screen
        p = self.profile("help")
        bindir = os.path.join(self.work, "bin")
        os.makedirs(bindir, exist_ok=True)
        opened = os.path.join(self.work, "opened")
        with open(os.path.join(bindir, "xdg-open"), "w") as f:
            f.write("#!/bin/sh\necho \"$1\" >> %s\n" % sh(opened))
        os.chmod(os.path.join(bindir, "xdg-open"), 0o755)
        # With a display and xdg-open: the page goes to the viewer.
        self.run(p, {"DISPLAY": ":99", "PATH": bindir + ":" + os.environ.get("PATH", "")})
        s.keys("Right")
        s.see("[Allgemein]")
        s.keys("F1")
        s.wait("xdg-open to be called", lambda: os.path.exists(opened))
        s.keys("Escape")
        s.exit_code()
        pages = os.path.realpath(os.path.join(os.path.dirname(self.quelta), "help"))
        self.check("F1 on the general page opens installdialog.html#general",
                   open(opened).read() == "file://%s/installdialog.html#general\n" % pages)
        # Without a display: the page's file name in a message box.
        self.run(p, {"DISPLAY": ""})
        s.keys("Left")
        s.see("[Bayes]")
        s.keys("F1")
        s.see(pages + "/installdialog.html")
        s.keys("Enter")
        s.keys("Left")
        s.see("[Filterung]")
        s.tab_to("Regeln...")
        s.keys("Enter", "IC")
        s.see("Neue Regel erstellen")
        s.keys("F1")
        s.see(pages + "/rulepredef.html")
        s.keys("Enter", "Escape", "Escape", "Escape")
        self.check("help: exit 0", s.exit_code() == 0)
        # Installed, the plug-in finds the pages under share/doc.
        prefix = os.path.join(self.work, "prefix")
        subprocess.run(["cmake", "--install", os.path.dirname(self.quelta), "--prefix", prefix],
                       check=True, capture_output=True)
        self.screen.start([os.path.join(prefix, "bin", "quelta"), "--profile", p], {"DISPLAY": ""})
        s.see("Statistik")
        s.keys("F1")
        s.see("prefix/share/doc/quelta/html/installdialog.html")
        s.keys("Enter", "Escape")
        self.check("installed help: exit 0", s.exit_code() == 0)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    quelta, src = os.path.abspath(sys.argv[1]), sys.argv[2]
    tmux = shutil.which("tmux")
    if not tmux:
        print("SKIPPED: tmux is not installed (scripts/install-deps.sh)")
        return SKIP
    work = tempfile.mkdtemp(prefix="quelta-tui-")
    test = Test(quelta, src, tmux, work)
    probe = test.screen.tmux("-f", "/dev/null", "new-session", "-d", "true")
    if probe.returncode != 0:
        shutil.rmtree(work, ignore_errors=True)
        print("SKIPPED: tmux cannot start a server here: " + probe.stderr.strip())
        return SKIP
    try:
        for scenario in (test.no_terminal, test.general_page_and_ok, test.cancel_keeps_the_file,
                         test.statistics, test.rule_editor, test.list_editor, test.address_books, test.help):
            try:
                scenario()
            except Failed as e:
                test.failed += 1
                print("FAILED: %s: %s" % (scenario.__name__, e))
            test.screen.tmux("kill-server")
    finally:
        test.screen.tmux("kill-server")
        shutil.rmtree(work, ignore_errors=True)
    print("terminal_test: %d passed, %d failed" % (test.passed, test.failed))
    return 0 if test.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
