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
check "lint: findings exit 1, one line each with file and line" \
  '[ $rc = 1 ] && [ "$(cut -d: -f1,2 "$work/out" | tr "\n" " ")" = "Rules.dat:1 Rules.dat:2 " ]'
"$quelta" --profile "$work/none" lint >/dev/null 2>&1; check "lint without a profile exits 2" '[ $? = 2 ]'

# The chain of the shipped Rules.dat: both parts must match.
invoice() {  # attachment name
  printf 'Subject: Your invoice\nFrom: a@b.example\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nsee attached\n--b\nContent-Type: application/octet-stream; name="%s"\n\nxx\n--b--\n' "$1" |
    "$quelta" --plugin-dir "$work/d" score -v --no-learn -
}
check "chain: invoice subject and a .zip attached, not the subject alone" \
  'invoice invoice.zip | grep -q "^Match: RegExp rule \"PARTNAME\" (Invoice subject with an archive or program attached), score: 30" &&
   ! invoice invoice.pdf | grep -q "PARTNAME"'

# The plug-in's TEXT is the decoded, converted text: a rule on it matches
# a word that stands in the message only as base64 UTF-8 HTML.
make_profile "$work/t"
printf 'TEXT 50 S "Caf\xe9 \x80" [text]\r\n' > "$work/t/Rules.dat"
html=$(printf '<p>Caf&eacute;&nbsp;<b>&euro;</b></p>' | base64)
printf 'Subject: x\nContent-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: base64\n\n%s\n' "$html" > "$work/html.eml"
out=$("$quelta" --plugin-dir "$work/t" --no-progress score --no-learn "$work/html.eml")
check "TEXT rule matches the rendered HTML" '[[ "$out" == 50* ]]'

# db on a trained profile: stats, check, a backup, a refused damaged one,
# and the restore.
make_profile "$work/b"
qb=("$quelta" --plugin-dir "$work/b")
for i in 1 2 3; do printf "Subject: offer $i\nFrom: x$i@y.example\n\nspecial$i cheap pills\n" | "${qb[@]}" train --spam - >/dev/null; done
printf "Subject: lunch\nFrom: c@d.example\n\nagenda minutes\n" | "${qb[@]}" train --ham - >/dev/null
check "db stats: the messages" '"${qb[@]}" db stats | grep -q "^messages:  4 (3 spam, 1 ham)$"'
"${qb[@]}" db backup "$work/pair.bak" >/dev/null && "${qb[@]}" db check >/dev/null 2>&1; check "db backup, then check exits 0" '[ $? = 0 ]'
cp "$work/b/Bayes.wdb" "$work/wdb.orig"
printf 'xyz' >> "$work/b/Bayes.wdb"
"${qb[@]}" db check >"$work/out" 2>/dev/null; rc=$?
check "db check: a cut record exits 1 and is named" '[ $rc = 1 ] && grep -q "^Bayes.wdb: the last record is cut short: 3 bytes" "$work/out"'
cp "$work/pair.bak" "$work/bad.bak" && printf '\xff' | dd of="$work/bad.bak" bs=1 seek=36 conv=notrunc 2>/dev/null
"${qb[@]}" db restore "$work/bad.bak" >/dev/null 2>"$work/err"; rc=$?
check "db restore refuses a damaged backup and changes nothing" '[ $rc = 2 ] && grep -q "checksum" "$work/err" && cmp -s "$work/b/Bayes.wdb" - < <(cat "$work/wdb.orig"; printf xyz)'
"${qb[@]}" db restore "$work/pair.bak" >/dev/null; rc=$?
check "db restore brings the pair back byte for byte" '[ $rc = 0 ] && cmp -s "$work/b/Bayes.wdb" "$work/wdb.orig"'
"${qb[@]}" db frobnicate >/dev/null 2>&1; check "db with an unknown action exits 2" '[ $? = 2 ]'

finish
