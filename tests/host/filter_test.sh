#!/usr/bin/env bash
# quelta filter in a delivery chain: the message comes back byte for byte
# with the verdict fields, unchanged on errors; the README's procmail and
# maildrop recipes deliver spam and ham into a scratch Maildir.
source "$(dirname "$0")/lib.sh" "$@"

make_profile "$work/p"
q=("$quelta" --plugin-dir "$work/p")
# CR LF, a forged verdict, a NUL and a high byte in the body.
printf 'Subject: lottery\r\nX-Quelta-Status: Ham\r\nFrom: a@b.example\r\n\r\nbody \0\xff\r\nX-Quelta-Status: Ham\r\n' > "$work/in"
printf 'Subject: lottery\r\nFrom: a@b.example\r\nX-Quelta-Score: 80\r\nX-Quelta-Status: Spam, threshold=50\r\n\r\nbody \0\xff\r\nX-Quelta-Status: Ham\r\n' > "$work/want"
"${q[@]}" filter < "$work/in" > "$work/out"; rc=$?
check "spam: fields added, the forged one dropped, the rest byte for byte, exit 1, the log agrees" \
  'cmp -s "$work/out" "$work/want" && [ $rc = 1 ] && last_final "$work/p" | grep -q ">>> SPAM"'
"${q[@]}" score --pass - < "$work/in" > "$work/out"; check "score --pass is filter" 'cmp -s "$work/out" "$work/want"'
"${q[@]}" filter --exit-zero < "$work/in" >/dev/null; check "--exit-zero: spam exits 0" '[ $? = 0 ]'
printf 'Subject: meeting\n\nx\n' | "${q[@]}" filter --threshold 60 > "$work/out"; rc=$?
check "ham, LF kept, exit 0" '[ "$(cat "$work/out")" = "$(printf "Subject: meeting\nX-Quelta-Score: 0\nX-Quelta-Status: Ham, threshold=60\n\nx")" ] && [ $rc = 0 ]'
printf 'From a@b Mon Nov 30 03:12:40 2026\nSubject: lottery\n\n' | "${q[@]}" filter --rules-header > "$work/out"
check "an mbox envelope line stays first, not scored; --rules-header names the rule" \
  'head -1 "$work/out" | grep -q "^From a@b " && grep -q "^X-Quelta-Score: 80" "$work/out" && grep -qx "X-Quelta-Rules: SUBJECT=80 (lottery)" "$work/out"'
make_profile "$work/norules" && rm "$work/norules/Rules.dat"
for bad in "--plugin-dir $work/norules filter" "--plugin-dir $work/none filter" "--profile $work/none filter" "filter --threshold x" "score --pass --explain -" "score --pass --bogus"; do
  "$quelta" $bad < "$work/in" > "$work/out" 2>/dev/null; rc=$?
  check "error ($bad): unchanged, exit 2" 'cmp -s "$work/in" "$work/out" && [ $rc = 2 ]'
done

# The README's recipes, run by the real delivery agents.
home="$work/home"
mkdir -p "$home/bin" "$home/Maildir"/{cur,new,tmp} "$home/Maildir/.Junk"/{cur,new,tmp}
ln -s "$quelta" "$home/bin/quelta"
printf "$spam_text" > "$work/spam.eml"
printf "$ham_text" > "$work/ham.eml"
printf 'HOME=%s\nMAILDIR=$HOME/Maildir/\nDEFAULT=$MAILDIR\nPATH=$HOME/bin:/usr/bin:/bin\nQUELTA_PROFILE=%s\n' "$home" "$work/p" > "$home/.procmailrc"
printf 'HOME="%s"\nDEFAULT="$HOME/Maildir/"\nPATH="$HOME/bin:/usr/bin:/bin"\nQUELTA_PROFILE="%s"\n' "$home" "$work/p" > "$home/.mailfilter"
awk '$0 == "```procmail" {on=1; next} /^```/ {on=0} on' "$src/README.md" >> "$home/.procmailrc"
awk '$0 == "```maildrop" {on=1; next} /^```/ {on=0} on' "$src/README.md" >> "$home/.mailfilter"
chmod 600 "$home/.mailfilter"
for agent in "procmail -m $home/.procmailrc" "maildrop $home/.mailfilter"; do
  for m in spam ham; do $agent < "$work/$m.eml"; done
  check "$agent: spam into .Junk, ham into the inbox" '[ "$(cat "$home/Maildir"/{.Junk/new,new}/* | grep "^X-Quelta-Status")" = \
    "$(printf "X-Quelta-Status: Spam, threshold=50\nX-Quelta-Status: Ham, threshold=50")" ]'
  rm -f "$home/Maildir"/{new,.Junk/new}/*
done

finish
