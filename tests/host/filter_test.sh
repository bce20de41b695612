#!/usr/bin/env bash
# quelta filter in a delivery chain: the message comes back byte for byte
# with the verdict fields, unchanged on errors; the README's procmail and
# maildrop recipes deliver spam and ham into a scratch Maildir.
source "$(dirname "$0")/lib.sh" "$@"

make_profile "$work/p"
printf '[AntiSpam]\r\nJunkScore=50\r\n' > "$work/p/TBPlugin.INI"
q=("$quelta" --plugin-dir "$work/p")

# Byte for byte: CR LF, a forged verdict, a NUL and a high byte in the body.
printf 'Subject: lottery\r\nX-Quelta-Status: Ham\r\nFrom: a@b.example\r\n\r\nbody \0\xff\r\nX-Quelta-Status: Ham\r\n' > "$work/in"
printf 'Subject: lottery\r\nFrom: a@b.example\r\nX-Quelta-Score: 80\r\nX-Quelta-Status: Spam, threshold=50\r\n\r\nbody \0\xff\r\nX-Quelta-Status: Ham\r\n' > "$work/want"
"${q[@]}" filter < "$work/in" > "$work/out"; rc=$?
check "spam: fields added, forged one dropped, the rest byte for byte, exit 1" 'cmp -s "$work/out" "$work/want" && [ $rc = 1 ]'
check "the log says what the field says" 'last_final "$work/p" | grep -q ">>> SPAM"'
"${q[@]}" score --pass - < "$work/in" > "$work/out"
check "score --pass is filter" 'cmp -s "$work/out" "$work/want"'
"${q[@]}" filter --exit-zero < "$work/in" >/dev/null; check "--exit-zero: spam exits 0" '[ $? = 0 ]'
printf 'Subject: meeting\n\nx\n' | "${q[@]}" filter --threshold 60 > "$work/out"; rc=$?
check "ham, LF kept, exit 0" '[ "$(cat "$work/out")" = "$(printf "Subject: meeting\nX-Quelta-Score: 0\nX-Quelta-Status: Ham, threshold=60\n\nx")" ] && [ $rc = 0 ]'
printf 'Subject: lottery\n\n' | "${q[@]}" filter --rules-header > "$work/out"
check "--rules-header names the rule and score" 'grep -qx "X-Quelta-Rules: SUBJECT=80 (lottery)" "$work/out"'
printf 'From a@b Mon Nov 30 03:12:40 2026\nSubject: lottery\n\n' | "${q[@]}" filter > "$work/out"
check "an mbox envelope line stays first, not scored as a field" 'head -1 "$work/out" | grep -q "^From a@b " && grep -q "^X-Quelta-Score: 80" "$work/out"'

# Errors: the message passes unchanged, exit 2.
make_profile "$work/norules" && rm "$work/norules/Rules.dat"
for bad in "--plugin-dir $work/norules filter" "--plugin-dir $work/none filter" "--profile $work/none filter" "filter --threshold x" "score --pass --bogus"; do
  "$quelta" $bad < "$work/in" > "$work/out" 2>/dev/null; rc=$?
  check "error ($bad): unchanged, exit 2" 'cmp -s "$work/in" "$work/out" && [ $rc = 2 ]'
done

# The README's recipes, run by the real delivery agents.
recipe() { awk -v tag="$1" '$0 == "```" tag {on=1; next} /^```/ {on=0} on' "$src/README.md"; }
home="$work/home"
mkdir -p "$home/bin" "$home/Maildir"/{cur,new,tmp} "$home/Maildir/.Junk"/{cur,new,tmp}
ln -s "$quelta" "$home/bin/quelta"
printf 'Subject: You won the lottery\nFrom: x@y.example\n\nclaim it\n' > "$work/spam.eml"
printf 'Subject: meeting at ten\nFrom: c@d.example\n\nsee you\n' > "$work/ham.eml"
delivered() {  # folder, header line: exactly one message there, with that line
  local f=("$home/Maildir/$1"/*)
  [ ${#f[@]} = 1 ] && [ -f "${f[0]}" ] && grep -qx "$2" "${f[0]}"
}

if command -v procmail >/dev/null; then
  { printf 'HOME=%s\nMAILDIR=$HOME/Maildir/\nDEFAULT=$MAILDIR\nPATH=$HOME/bin:/usr/bin:/bin\nQUELTA_PROFILE=%s\n' "$home" "$work/p"
    recipe procmail; } > "$home/.procmailrc"
  for m in spam ham; do procmail -m "$home/.procmailrc" < "$work/$m.eml"; done
  check "procmail: spam into .Junk" 'delivered .Junk/new "X-Quelta-Status: Spam, threshold=50"'
  check "procmail: ham into the inbox" 'delivered new "X-Quelta-Status: Ham, threshold=50"'
  rm -f "$home/Maildir"/{new,.Junk/new}/*
else
  echo "FAILED: procmail is not installed (scripts/install-deps.sh)"; fail=$((fail + 1))
fi

if command -v maildrop >/dev/null; then
  { printf 'HOME="%s"\nDEFAULT="$HOME/Maildir/"\nPATH="$HOME/bin:/usr/bin:/bin"\nQUELTA_PROFILE="%s"\n' "$home" "$work/p"
    recipe maildrop; } > "$home/.mailfilter"
  chmod 600 "$home/.mailfilter"
  for m in spam ham; do maildrop "$home/.mailfilter" < "$work/$m.eml"; done
  check "maildrop: spam into .Junk" 'delivered .Junk/new "X-Quelta-Status: Spam, threshold=50"'
  check "maildrop: ham into the inbox" 'delivered new "X-Quelta-Status: Ham, threshold=50"'
else
  echo "FAILED: maildrop is not installed (scripts/install-deps.sh)"; fail=$((fail + 1))
fi

finish
