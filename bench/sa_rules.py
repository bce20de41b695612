#!/usr/bin/python3
"""Converts SpamAssassin's stock rules (Debian's spamassassin package,
/usr/share/spamassassin/*.cf) into Quelta rule files, for benchmarks only.

What is converted:
  header NAME Field =~ /re/flags   -> "Field:" (a header lookup) or the named field
  header NAME ALL =~ /re/          -> RAWHEADER
  body NAME /re/                   -> TEXTPART (the decoded text parts)
  rawbody NAME /re/                -> RAWTEXTPART (the raw text parts)
  uri NAME /re/                    -> URLLIST
  full NAME /re/                   -> RAWMSG
  meta NAME (A && B && !C)         -> a chain of the rules A, B, C ("&" links, "?" for ||)
Scores come from the "score" lines (the last of up to four values), 20 Quelta
points per SpamAssassin point (SpamAssassin's threshold 5 = Quelta's 100).
Case and dot semantics are kept with inline options: a pattern without /i
starts with (?-i), one without /s with (?-s), /m and /x become (?m) and (?x).
Evaluated rules (eval:), exists: tests and complex metas are skipped.

Two profiles are written:
  scored   every scored regular-expression rule and every simple scored meta as a
           chain of its sub-rules
  full     the same plus every other "__" sub-rule (score 0, as SpamAssassin runs
           them all)

Patterns that the plug-in's regular-expression layer rejects are found by the
rule_patterns program (bench/rule_patterns.cpp) and dropped, with a count.
"""

import argparse
import glob
import os
import re
import subprocess
import sys

SA_DIR = "/usr/share/spamassassin"
POINTS = 20  # Quelta points per SpamAssassin point

# SpamAssassin pseudo-headers and header names with a Quelta field of their own.
HEADER_FIELDS = {
    "ALL": "RAWHEADER",
    "ALL:raw": "RAWHEADER",
    "ALL-TRUSTED": "RAWHEADER",
    "ALL-UNTRUSTED": "RAWHEADER",
    "ALL-EXTERNAL": "RAWHEADER",
    "ALL-INTERNAL": "RAWHEADER",
    "ToCc": "RAWTO",
    "EnvelopeFrom": "RETURNPATH",
    "MESSAGEID": "MSGID",
    "From:addr": "FROMADDR",
    "From:name": "FROMNAME",
    "From:raw": "RAWFROM",
    "To:addr": "TOADDR",
    "Reply-To:addr": "REPLYTOADDR",
    "Subject": "SUBJECT",
    "Subject:raw": "RAWSUBJECT",
}
KIND_FIELDS = {"body": "TEXTPART", "rawbody": "RAWTEXTPART", "uri": "URLLIST", "full": "RAWMSG"}


class Rule:
    def __init__(self, name, kind, field, pattern, negate):
        self.name, self.kind, self.field, self.pattern, self.negate = name, kind, field, pattern, negate


def strip_comment(line):
    # SpamAssassin: '#' starts a comment unless escaped; '\#' is a literal '#'.
    m = re.search(r"(?<!\\)#", line)
    if m:
        line = line[: m.start()]
    return line.replace("\\#", "#").strip()


def split_regex(text):
    """'/re/flags' or 'm{re}flags' -> (re, flags), or None."""
    text = text.strip()
    if text.startswith("/"):
        open_, close = "/", "/"
        body = text[1:]
    elif len(text) > 1 and text[0] == "m" and not text[1].isalnum() and not text[1].isspace():
        open_ = text[1]
        close = {"{": "}", "(": ")", "[": "]", "<": ">"}.get(open_, open_)
        body = text[2:]
    else:
        return None
    end = body.rfind(close)
    if end < 0:
        return None
    flags = body[end + 1 :].strip()
    if not re.fullmatch(r"[imsxgo]*", flags):
        return None
    return body[:end], flags


def quelta_pattern(regex, flags):
    """A Perl pattern with its flags as a pattern that the plug-in (always
    caseless, dot matching all) reads the same way, written so that it
    survives the rule-line reader (tabs and control bytes escaped)."""
    on = "".join(f for f in "mx" if f in flags)
    off = "".join(f for f in "is" if f not in flags)
    prefix = "(?" + on + ("-" + off if off else "") + ")" if on or off else ""
    out = []
    for ch in prefix + regex:
        o = ord(ch)
        out.append("\\x%02x" % o if o < 0x20 or o == 0x7F else ch)
    return "".join(out)


def apply_replace_tags(pattern, tags, inter, post, pre):
    """SpamAssassin's ReplaceTags: <X> becomes the tag's text; <inter N>,
    <post N>, <pre N> name text put between, after and before each tag.
    A tag's text may hold tags itself: passes repeat while a replacement
    brought one in, six at most, as SpamAssassin does."""
    for _ in range(6):
        pattern, again = replace_tags_once(pattern, tags, inter, post, pre)
        if not again:
            break
    return pattern


def replace_tags_once(pattern, tags, inter, post, pre):
    chosen = {"inter": "", "post": "", "pre": ""}
    tables = {"inter": inter, "post": post, "pre": pre}

    def directive(m):
        chosen[m.group(1)] = tables[m.group(1)].get(m.group(2), "")
        return ""

    pattern = re.sub(r"<(inter|post|pre) (\w+)>", directive, pattern)
    parts = re.split(r"(<[A-Z0-9_]+>)", pattern)
    out = []
    prev_tag = False
    again = False
    for p in parts:
        m = re.fullmatch(r"<([A-Z0-9_]+)>", p)
        if m and m.group(1) in tags:
            if prev_tag:
                out.append(chosen["inter"])
            out.append(chosen["pre"] + tags[m.group(1)] + chosen["post"])
            again = again or re.search(r"<[^>]+>", tags[m.group(1)]) is not None
            prev_tag = True
        else:
            out.append(p)
            if p:
                prev_tag = False
    return "".join(out), again


def read_rules(sa_dir):
    rules, metas, scores = {}, {}, {}
    tags, inter, post, pre, replace = {}, {}, {}, {}, set()
    skipped = {"eval": 0, "exists": 0, "unparsed": 0}
    for path in sorted(glob.glob(os.path.join(sa_dir, "*.cf"))):
        # A negated condition ("if !plugin(...)") holds fallbacks for a missing
        # plug-in, and so does the else branch of a positive one: not taken.
        stack = []
        with open(path, "rb") as f:
            for raw in f:
                line = strip_comment(raw.decode("latin-1").rstrip("\r\n"))
                if not line:
                    continue
                word, rest = (line.split(None, 1) + [""])[:2]
                if word == "lang":  # "lang de body ...": rules for one language only
                    continue
                if word in ("if", "ifplugin"):
                    stack.append(word == "if" and rest.lstrip("(").startswith("!"))
                    continue
                if word == "else":
                    if stack:
                        stack[-1] = not stack[-1]
                    continue
                if word == "endif":
                    if stack:
                        stack.pop()
                    continue
                if any(stack):
                    continue
                fields = rest.split(None, 1)
                if word in ("replace_tag", "replace_inter", "replace_post", "replace_pre") and len(fields) == 2:
                    {"replace_tag": tags, "replace_inter": inter, "replace_post": post, "replace_pre": pre}[word][fields[0]] = fields[1]
                elif word == "replace_rules":
                    replace.update(rest.split())
                elif word == "score" and len(fields) == 2:
                    vals = fields[1].split()
                    try:
                        scores[fields[0]] = float(vals[-1] if len(vals) in (1, 4) else vals[0])
                    except ValueError:
                        pass
                elif word == "meta" and len(fields) == 2:
                    metas[fields[0]] = fields[1]
                    rules.pop(fields[0], None)
                elif word in ("header", "body", "rawbody", "uri", "full") and len(fields) == 2:
                    name, definition = fields
                    metas.pop(name, None)
                    if definition.startswith("eval:"):
                        skipped["eval"] += 1
                        rules.pop(name, None)
                        continue
                    if word == "header":
                        m = re.match(r"(\S+?)\s*(=~|!~)\s*(.*)$", definition)
                        if not m:
                            skipped["exists" if definition.startswith("exists:") else "unparsed"] += 1
                            rules.pop(name, None)
                            continue
                        hdr, op, regex = m.group(1), m.group(2), m.group(3)
                        regex = re.sub(r"\s*\[if-unset:.*\]\s*$", "", regex)
                        field = HEADER_FIELDS.get(hdr, HEADER_FIELDS.get(hdr.split(":")[0]))
                        if field is None:
                            base = hdr.split(":")[0]
                            # SpamAssassin's own relay summaries: the Received hops.
                            field = "RECEIVED" if base.startswith("X-Spam-Relays") else base + ":"
                        negate = op == "!~"
                    else:
                        field, regex, negate = KIND_FIELDS[word], definition, False
                    parsed = split_regex(regex)
                    if not parsed:
                        skipped["unparsed"] += 1
                        rules.pop(name, None)
                        continue
                    rules[name] = Rule(name, word, field, parsed, negate)
    for name, r in rules.items():
        regex, flags = r.pattern
        if name in replace:
            regex = apply_replace_tags(regex, tags, inter, post, pre)
        r.pattern = quelta_pattern(regex, flags)
    return rules, metas, scores, skipped


def simple_meta(expr):
    """(op, [(negated, name), ...]) for 'A && !B && C' or 'A || B', else None."""
    e = expr.strip()
    while e.startswith("(") and e.endswith(")") and e.count("(") == 1:
        e = e[1:-1].strip()
    if "(" in e or ")" in e:
        return None
    ops = set(re.findall(r"&&|\|\|", e))
    if len(ops) > 1:
        return None
    op = ops.pop() if ops else "&&"
    items = []
    for tok in re.split(r"&&|\|\|", e):
        m = re.fullmatch(r"\s*(!?)\s*([A-Za-z0-9_]+)\s*", tok)
        if not m:
            return None
        items.append((m.group(1) == "!", m.group(2)))
    return op, items


def rule_line(link, field, score, flags, pattern, comment):
    return "%s%s %d %s \"%s\" [%s]" % (link, field, score, flags, pattern, comment)


def quelta_score(sa):
    return int(round(sa * POINTS))


def build_profiles(rules, metas, scores):
    scored, subs, chains = [], [], []
    for name in sorted(rules):
        r = rules[name]
        flags = "RN" if r.negate else "R"
        if name.startswith("__"):
            subs.append((name, rule_line("", r.field, 0, flags, r.pattern, name)))
            continue
        s = scores.get(name, 1.0)
        if s == 0:
            continue
        scored.append((name, rule_line("", r.field, quelta_score(s), flags, r.pattern, name)))
    for name in sorted(metas):
        if name.startswith("__") or scores.get(name, 1.0) == 0:
            continue
        parsed = simple_meta(metas[name])
        if not parsed:
            continue
        op, items = parsed
        if len(items) < 2 or any(n not in rules for _, n in items):
            continue
        link = "&" if op == "&&" else "?"
        lines = []
        for i, (neg, n) in enumerate(items):
            r = rules[n]
            negate = r.negate != neg
            last = i == len(items) - 1
            lines.append(rule_line("", r.field,
                                   quelta_score(scores.get(name, 1.0)) if last else 0,
                                   "RN" if negate else "R", r.pattern, name + ":" + n))
        # The link character stands before the rule it joins with the next one.
        lines = [(link if i < len(lines) - 1 else "") + l for i, l in enumerate(lines)]
        chains.append((name, lines, [n for _, n in items]))
    return scored, subs, chains


def check_patterns(checker, lines):
    """Indexes of rule lines whose pattern the plug-in rejects, with the messages."""
    tmp = os.path.join(os.path.dirname(os.path.abspath(checker)), "sa-check.dat")
    with open(tmp, "wb") as f:
        for l in lines:
            f.write(l.encode("latin-1") + b"\r\n")
    out = subprocess.run([checker, "--check", tmp], capture_output=True, check=True).stdout
    bad = {}
    for l in out.decode("latin-1").splitlines():
        if l.startswith("FAIL\t"):
            _, idx, msg = l.split("\t", 2)
            bad[int(idx)] = msg
    os.remove(tmp)
    return bad


HEAD = ("# Converted from SpamAssassin's stock rules (%s) for benchmarking; not a\r\n"
        "# shipped profile. Written by bench/sa_rules.py; do not commit.\r\n")


def write_profile(path, lines):
    with open(path, "wb") as f:
        f.write((HEAD % SA_DIR).encode("latin-1"))
        for l in lines:
            f.write(l.encode("latin-1") + b"\r\n")
        f.write(b"BayesScore 0 IP \"\" [Bayes filter]\r\n")


def convert(out_dir, checker, sa_dir=SA_DIR, log=print):
    rules, metas, scores, skipped = read_rules(sa_dir)
    scored, subs, chains = build_profiles(rules, metas, scores)
    # One check of every distinct rule line.
    all_lines = [l for _, l in scored] + [l for _, l in subs] + [l for _, ls, _ in chains for l in ls]
    bad = check_patterns(checker, all_lines)
    bad_lines = {all_lines[i]: m for i, m in bad.items()}
    too_large = sum(1 for m in bad_lines.values() if "too large" in m)
    good_scored = [l for _, l in scored if l not in bad_lines]
    good_subs = [l for _, l in subs if l not in bad_lines]
    good_chains = [ls for _, ls, _ in chains if not any(l in bad_lines for l in ls)]
    os.makedirs(out_dir, exist_ok=True)
    scored_lines = good_scored + [l for ls in good_chains for l in ls]
    write_profile(os.path.join(out_dir, "scored.dat"), scored_lines)
    full = scored_lines + good_subs
    write_profile(os.path.join(out_dir, "full.dat"), full)

    def patterns(lines):
        return len({l.split('"', 1)[1].rsplit('"', 1)[0] for l in lines})

    stats = {
        "regex rules read": len(rules),
        "scored rules": len(scored),
        "sub-rules": len(subs),
        "simple metas as chains": len(chains),
        "skipped eval rules": skipped["eval"],
        "skipped exists/unparsed": skipped["exists"] + skipped["unparsed"],
        "dropped (rejected by PCRE2)": len(bad_lines),
        "of them too large": too_large,
        "chains dropped with them": len(chains) - len(good_chains),
        "profile scored: rules": len(scored_lines),
        "profile scored: distinct patterns": patterns(scored_lines),
        "profile full: rules": len(full),
        "profile full: distinct patterns": patterns(full),
    }
    with open(os.path.join(out_dir, "dropped.txt"), "w", encoding="latin-1") as f:
        for l, m in bad_lines.items():
            f.write("%s\n\t%s\n" % (m, l))
    for k, v in stats.items():
        log("  %-36s %d" % (k, v))
    return stats


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--out", required=True, help="folder for scored.dat and full.dat")
    ap.add_argument("--checker", required=True, help="the rule_patterns program")
    ap.add_argument("--sa-dir", default=SA_DIR)
    a = ap.parse_args()
    convert(a.out, a.checker, a.sa_dir)


if __name__ == "__main__":
    sys.exit(main())
