#!/usr/bin/env bash
# quelta lint and quelta db from the command line, the chain of the shipped
# Rules.dat, and the rendered text the plug-in gets for its TEXT field.
source "$(dirname "$0")/lib.sh" "$@"

# lint: the shipped Rules.dat is clean; problems exit 1 with file:line.
mkdir -p "$work/d" && cp -r "$src/data/." "$work/d/" && cp "$build/Quelta.tbp" "$work/d/"
printf '[EasyMode]\r\nEnabled=0\r\n' > "$work/d/Quelta.ini"
"$quelta" --plugin-dir "$work/d" lint >"$work/out" 2>"$work/err"; rc=$?
check "shipped Rules.dat: lint exits 0 and says so" '[ $rc = 0 ] && [ ! -s "$work/out" ] && grep -q "no problems found" "$work/err"'
make_profile "$work/p"
printf 'SUBJECT 5 R "win(" [x]\r\nIncludeRuleFile nowhere.dat\r\n' > "$work/p/Rules.dat"
"$quelta" --plugin-dir "$work/p" lint >"$work/out" 2>/dev/null; rc=$?
check "lint: findings exit 1, one line each with file and line" '[ $rc = 1 ] && [ "$(wc -l < "$work/out")" = 2 ] &&
  grep -q "^Rules.dat:1: Invalid Pattern .win(.: error at position 4: missing closing parenthesis$" "$work/out" &&
  grep -q "^Rules.dat:2: included file not found: " "$work/out"'
"$quelta" --profile "$work/none" lint >/dev/null 2>&1; check "lint without a profile exits 2" '[ $? = 2 ]'

# The chain of the shipped Rules.dat: both parts must match.
invoice() {  # subject, attachment name
  printf 'Subject: %s\nFrom: a@b.example\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nsee attached\n--b\nContent-Type: application/octet-stream; name="%s"\n\nxx\n--b--\n' "$1" "$2"
}
invoice "Your invoice" "invoice.zip" | "$quelta" --plugin-dir "$work/d" score -v --no-learn - >"$work/out"
check "chain: invoice subject and a .zip attached" 'grep -q "^Match: RegExp rule \"PARTNAME\" (Invoice subject with an archive or program attached), score: 30" "$work/out"'
invoice "Your invoice" "invoice.pdf" | "$quelta" --plugin-dir "$work/d" score -v --no-learn - >"$work/out"
check "chain: the subject alone does not match" '! grep -q "PARTNAME" "$work/out"'

# The plug-in's TEXT is the decoded, converted text: a rule on it matches
# a word that stands in the message only as base64 UTF-8 HTML.
make_profile "$work/t"
printf 'TEXT 50 S "Caf\xe9 \x80" [text]\r\n' > "$work/t/Rules.dat"
html=$(printf '<p>Caf&eacute;&nbsp;<b>&euro;</b></p>' | base64)
printf 'Subject: x\nContent-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: base64\n\n%s\n' "$html" > "$work/html.eml"
out=$("$quelta" --plugin-dir "$work/t" --no-progress score --no-learn "$work/html.eml")
check "TEXT rule matches the rendered HTML" '[[ "$out" == 50* ]]'

# db: stats, check, backup and restore on a trained profile.
make_profile "$work/b"
qb=("$quelta" --plugin-dir "$work/b")
for i in 1 2 3; do printf "Subject: offer $i\nFrom: x$i@y.example\n\nspecial$i cheap cheap pills\n" | "${qb[@]}" train --spam - >/dev/null; done
printf "Subject: lunch\nFrom: c@d.example\n\nagenda minutes tomorrow\n" | "${qb[@]}" train --ham - >/dev/null
"${qb[@]}" db stats >"$work/out"
check "db stats: messages and both files" 'grep -q "^messages:  4 (3 spam, 1 ham)$" "$work/out" && grep -q "^Bayes.udb: .*, 52 bytes$" "$work/out"'
"${qb[@]}" db check >/dev/null 2>&1; check "db check of a trained pair exits 0" '[ $? = 0 ]'
"${qb[@]}" db backup "$work/pair.bak" >/dev/null; check "db backup writes the file" '[ -s "$work/pair.bak" ]'
cp "$work/b/Bayes.wdb" "$work/wdb.orig"
printf 'xyz' >> "$work/b/Bayes.wdb"
"${qb[@]}" db check >"$work/out" 2>/dev/null; rc=$?
check "db check: a cut record exits 1 and is named" '[ $rc = 1 ] && grep -q "^Bayes.wdb: the last record is cut short: 3 bytes" "$work/out"'
cp "$work/pair.bak" "$work/bad.bak" && printf '\xff' | dd of="$work/bad.bak" bs=1 seek=36 conv=notrunc 2>/dev/null
"${qb[@]}" db restore "$work/bad.bak" >/dev/null 2>"$work/err"; rc=$?
check "db restore refuses a damaged backup and changes nothing" '[ $rc = 2 ] && grep -q "checksum" "$work/err" && [ "$(stat -c %s "$work/b/Bayes.wdb")" = "$(( $(stat -c %s "$work/wdb.orig") + 3 ))" ]'
"${qb[@]}" db restore "$work/pair.bak" >/dev/null; rc=$?
check "db restore brings the pair back byte for byte" '[ $rc = 0 ] && cmp -s "$work/b/Bayes.wdb" "$work/wdb.orig"'
"${qb[@]}" db frobnicate >/dev/null 2>&1; check "db with an unknown action exits 2" '[ $? = 2 ]'

finish
