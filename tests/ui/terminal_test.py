#!/usr/bin/env python3
"""Usage: terminal_test.py QUELTA SOURCE_DIR (exit 77: tmux cannot run here). `quelta setup` in tmux edits every page
and editor by keys, reading the screen back; the files are checked byte for byte. Without a terminal: one WARNING."""
import os, re, shutil, subprocess, sys, tempfile, time

GREEN, RED, BLUE = 2, 1, 4


def parse_sgr(line):  # the text of a captured line, the attributes {bold, dim, fg} of each character
    attrs, text, cells, pos = {}, "", [], 0
    for m in re.finditer(r"\x1b\[([0-9;]*)m", line + "\x1b[m"):
        text, cells, pos = text + line[pos:m.start()], cells + [attrs] * (m.start() - pos), m.end()
        codes, attrs, i = [int(c or 0) for c in m.group(1).split(";")], dict(attrs), 0
        while i < len(codes):
            c = codes[i]
            if c in (38, 48):
                i += 2 if codes[i + 1:i + 2] == [5] else 4
            elif c in (0, 22):
                attrs = {"fg": attrs.get("fg")} if c == 22 else {}
            elif c in (1, 2):
                attrs["bold" if c == 1 else "dim"] = True
            elif 30 <= c <= 39:
                attrs["fg"] = c - 30 if c < 38 else None
            i += 1
    return text, cells


class Screen:  # `quelta setup` in an 80x24 tmux pane of a private server

    def __init__(self, work):
        self.work, self.rc = work, os.path.join(work, "rc")

    def tmux(self, *args):
        return subprocess.run(["tmux", "-S", os.path.join(self.work, "sock"), *args], capture_output=True,
                              text=True, errors="replace")

    rows = lambda self: [parse_sgr(l) for l in self.tmux("capture-pane", "-p", "-e").stdout.split("\n")[:24]]
    text = lambda self: "\n".join(t for t, _ in self.rows())

    def row(self, label):  # the row showing label, the attributes of label's first character
        return next(((t, cells[t.index(label)]) for t, cells in self.rows() if label in t), ("", {}))

    def cursor(self):
        x, y = self.tmux("display-message", "-p", "#{cursor_x} #{cursor_y}").stdout.split()
        return int(y), int(x)

    def wait(self, what, timeout=10):  # what: texts that must all show, or a test
        test = what if callable(what) else lambda: all(t in self.text() for t in what)
        end = time.time() + timeout
        while not test():
            if time.time() > end:
                raise RuntimeError("waited in vain for %s; the screen:\n%s" % (what, self.text()))
            time.sleep(0.05)

    def keys(self, *keys, see=None):  # tmux key names; other words go as text
        self.tmux("send-keys", *keys)
        if see:
            self.wait([see] if isinstance(see, str) else see)

    def focused(self, label):  # the cursor is in label's check box, on it or in the field after it
        cy, cx = self.cursor()
        t = self.rows()[cy][0]
        x = t.find(label)
        start, close, end = t.rfind("[", 0, cx + 1), t.find("]", cx), x + len(label)
        return x >= 0 and (cx in (x - 3, x) or cx > end and start >= end and close - start > 4
                           and not set("[]>") & set(t[end:start]))

    def move(self, done, key="Tab"):
        for _ in range(60):
            if done():
                return
            before = self.cursor()
            self.keys(key)
            self.wait(lambda: self.cursor() != before, timeout=3)
        raise RuntimeError("the focus never got there:\n" + self.text())

    def press(self, label, *keys, see=None):  # Tab to the control named label, then keys
        self.move(lambda: self.focused(label))
        self.keys(*keys, see=see)

    def page(self, tab):  # Shift-Tab back to the page tabs (the second row), Right to the next page
        self.move(lambda: self.cursor()[0] == 1, "BTab")
        self.keys("Right", see="[%s]" % tab)


def session(quelta, work, check):
    s, p = Screen(work), os.path.join(work, "profile")
    files = {"Quelta.ini": "[Main]\r\nLanguage=Deutsch (intern)\r\n[EasyMode]\r\nEnabled=1\r\n[Statistics]\r\n"
                           "MessagesFiltered=10\r\nClassAsSpam=4\r\nClassAsHam=6\r\nBayesMessagesChecked=100\r\n"
                           "BayesReClassAsSpam=5\r\nBayesReClassAsHam=3\r\n",
             "EasyMode.rdb": "Subject\x01sbn\x01" "free\x01" "32767\x01lower code\r\nFrom\x01R\x01x\x01-15\x01user\r\n",
             "EasyAddrBooks.dat": "missing.abd\r\n", "EasyDNSBL.dat": "old.example\r\n",
             "../broken.abd": "not a book", "Logs/Filter.log": ""}
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(p, name)), exist_ok=True)
        with open(os.path.join(p, name), "wb") as f:
            f.write(data.encode("cp1252"))
    cmd = "env LANG=C.UTF-8 DISPLAY= '%s' --profile '%s' setup; echo $? >rc" % (quelta, p)
    s.tmux("-f", "/dev/null", "new-session", "-d", "-x", "80", "-y", "24", "-c", work, "sh", "-c", cmd)
    s.wait(["Gefilterte Nachrichten: 10 (4 Spam, 6 Ham)", "Filtereffizienz:        92.00%"])
    check("report colours: a bold blue heading, 92% green, an empty database red",
          s.row("Sonstiges")[1] == {"fg": BLUE, "bold": True} and s.row("Filtereffizienz")[1] == {"fg": GREEN}
          and s.row("Mails in der Datenbank")[1] == {"fg": RED})
    s.press("Statistik zur", "Enter", see="Soll die Statistik zur")  # the reset asks; No is the default
    s.keys("Enter", see=lambda: "Soll die" not in s.text() and "10 (4 Spam" in s.text())
    s.keys("Enter", "Left", "Enter", see="Gefilterte Nachrichten: 0 (0 Spam, 0 Ham)")
    s.keys("F1", see="/installdialog.html")  # no display: the help page's file in a box
    s.keys("Enter")
    s.page("Allgemein")
    s.press("Maximale Nachrichtengr", "50")  # read on every change, clamped
    s.wait(lambda: "[30 " in s.row("Maximale Nachrichtengr")[0])
    s.keys("Tab", "abc", "Tab", "PPage", "PPage")  # not a number: 100 stays; the arrows step 32 to 34
    s.wait(lambda: "[100 " in s.row("Maximale Datenfeldgr")[0] and "[34 " in s.row("Maximale RegEx")[0])
    s.keys("5000", see=lambda: "5000" in s.row("Maximale RegEx")[0])  # read when left
    s.keys("Tab", see=lambda: "[999 " in s.row("Maximale RegEx")[0])
    check("the interval is dimmed (and no more) while the update check is off",
          s.row("Intervall (Tage)")[1] == {"dim": True})
    s.press("Automatisch nach neuen Versionen", "Space")
    s.wait(lambda: not s.row("Intervall (Tage)")[1].get("dim"))
    s.page("Filterung")
    s.press("Regeln...", "Enter", see="Regeln bearbeiten")
    check("a lower-case code shows as its text, 32767 as Spam",
          all(w in s.row("lower code")[0] for w in ("beginnt nicht mit", "Spam")))
    s.keys("IC", "To", "Tab", "Enter", see="entspricht nicht (RegEx)")  # a new rule
    s.keys("Down", "Down", "Enter", "Tab", "bob")
    s.press("Nachricht als Ham einstufen", "Space")
    s.press("Kommentar:", "a]b", "Enter", see="Im Feld \"Kommentar\" sind keine eckigen Klammern erlaubt!")
    s.keys("Enter", "BSpace", "BSpace", "BSpace", "ham rule", "Enter",
           see=lambda: all(w in s.row("ham rule")[0] for w in ("To", "beginnt mit", "bob", "Ham")))
    s.keys("Home", "Enter", see="Regel bearbeiten")  # the first row: a user score of 12, one arrow step up
    s.press("Benutzerdefiniert", "Space", "Tab", "12", "PPage", see=lambda: "[17 " in s.row("Benutzerdefiniert")[0])
    s.keys("Enter", see=lambda: "17" in s.row("lower code")[0])
    s.keys("Down", "DC", "Left", "Enter", see=lambda: "user" not in s.text())  # deleted after Yes
    s.keys("Home")
    s.press("Abw\u00e4rts", "Enter")
    s.press("Ok", "Enter")
    s.press("DNSBL-Server...", "Enter", see=["DNSBL-Server bearbeiten", "old.example"])
    s.keys("End", "Enter", "zen.example.org", "Enter", "# off", "Tab", "Enter")
    s.press("Adressb\u00fccher...", "Enter", see="Nicht gefunden")
    s.keys("IC", see="Addressbuchdatei ausw\u00e4hlen")
    s.keys("broken.abd", "Enter",  # relative to the current folder
           see=lambda: "Falsches Format" in s.row(os.path.join(work, "broken.abd"))[0])
    s.keys("Home", "DC", "Enter", see="[Filterung]")
    s.press("Ok", "Enter")
    s.wait(lambda: os.path.exists(s.rc) and open(s.rc).read().strip())
    check("exit 0", open(s.rc).read() == "0\n")
    read = lambda name: open(os.path.join(p, name), "rb").read()
    ini = read("Quelta.ini").decode("cp1252")
    for key in ("MaxMsgSize=30\r\n", "MaxDataSize=100\r\n", "MaxRegExpSize=999\r\n", "MessagesFiltered=0\r\n"):
        check("Ok writes " + key.strip(), key in ini)
    check("Ok writes the update switch", re.search(r"\[Update\][^\[]*Enabled=1", ini))
    check("the rules in list order, codes in upper case", read("EasyMode.rdb") ==
          b"To\x01SB\x01" b"bob\x01-32768\x01ham rule\r\nSubject\x01SBN\x01" b"free\x01" b"17\x01lower code\r\n")
    check("the new DNSBL list", read("EasyDNSBL.dat") == b"old.example\r\nzen.example.org\r\n# off\r\n")
    check("the address books", read("EasyAddrBooks.dat") == (os.path.join(work, "broken.abd") + "\r\n").encode())


def no_terminal(quelta, work, check):
    p = os.path.join(work, "noterm")
    os.makedirs(os.path.join(p, "Logs"))
    open(os.path.join(p, "Quelta.ini"), "w").write("[Main]\n")
    for extra, reason in (({}, "TERM is not set"), ({"TERM": "dumb"}, 'TERM is "dumb"'),
                          ({"TERM": "xterm"}, "no controlling terminal (/dev/tty)")):
        env = dict({k: v for k, v in os.environ.items() if k != "TERM"}, **extra)
        # setsid: a new session without a controlling terminal.
        r = subprocess.run(["setsid", "-w", quelta, "--profile", p, "setup"], env=env,
                           stdin=subprocess.DEVNULL, capture_output=True)
        log = open(os.path.join(p, "Logs", "Filter.log"), encoding="cp1252").read()
        line = "WARNING: Options dialog not shown: no terminal to show it on (%s)." % reason
        check(reason + ": exit 0, one log line, nothing shown",
              r.returncode == 0 and log.count(line) == 1 and r.stdout == b"")
    check("no settings written", "MaxMsgSize" not in open(os.path.join(p, "Quelta.ini")).read())


def main():
    len(sys.argv) == 3 or sys.exit(__doc__)
    work, failed = tempfile.mkdtemp(prefix="quelta-tui-"), []
    screen = Screen(work)
    if not shutil.which("tmux") or screen.tmux("-f", "/dev/null", "new-session", "-d", "true").returncode:
        shutil.rmtree(work)
        print("SKIPPED: tmux cannot run here (scripts/install-deps.sh installs it)")
        return 77
    try:
        for scenario in (no_terminal, session):
            try:
                scenario(os.path.abspath(sys.argv[1]), work, lambda name, ok: ok or failed.append(name))
            except RuntimeError as e:
                failed.append("%s: %s" % (scenario.__name__, e))
    finally:
        screen.tmux("kill-server")
        shutil.rmtree(work, ignore_errors=True)
    print("".join("FAILED: %s\n" % f for f in failed) + "terminal_test: %d failed" % len(failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
