#!/usr/bin/env bash
# Mailboxes end to end: mbox files, Maildirs with mail servers' files,
# Maildir++ folders, awkward names, pipes; the report and JSON per message.
source "$(dirname "$0")/lib.sh" "$@"

make_profile "$work/p"
q=("$quelta" --plugin-dir "$work/p" --no-progress)
{
  printf 'From a@b.example Mon Nov 30 03:12:40 2026\n'; printf "$spam_text"; printf '>From the lottery desk\n\n'
  printf 'From c@d.example Mon Nov 30 03:12:41 2026\n'; printf "$ham_text"; printf '\n'
  printf 'From e@f.example Mon Nov 30 03:12:42 2026\nSubject: lottery again\nFrom: e@f.example\n\nbody\n'
} > "$work/box"
out=$("${q[@]}" score "$work/box"); rc=$?
check "mbox: three lines by position" '[ "$out" = "$(printf "80\tSPAM\t$work/box:1\n0\tHAM\t$work/box:2\n80\tSPAM\t$work/box:3")" ] && [ $rc = 1 ]'
out=$("${q[@]}" train --ham "$work/box")
check "mbox training: one line per message, three in the Bayes database" \
  '[ "$(printf "%s\n" "$out" | grep -c "^ham	$work/box:[123]$")" = 3 ] && [ "$("${q[@]}" macro Quelta_BayesHams)" = 3 ]'

# Maildir: only cur/ and new/; the servers' files are no messages.
md="$work/Maildir"
mkdir -p "$md"/{cur,new,tmp} "$md/.Junk"/{cur,new,tmp}
printf "$spam_text" > "$md/new/1700000001.M1P1.host"
printf "$ham_text" > "$md/cur/1700000002.M2P2.host:2,S"
printf "$spam_text" > "$md/tmp/1700000003.M3P3.host"
printf "$spam_text" > "$md/.Junk/cur/1700000004.M4P4.host:2,S"
for f in dovecot.index dovecot-uidlist courierimapuiddb maildirfolder .uidvalidity .Junk/dovecot.index cur/.hidden; do
  printf 'not a message\n' > "$md/$f"
done
out=$("${q[@]}" score "$md")
check "Maildir: the two messages of cur/ and new/" '[ "$(printf "%s\n" "$out" | wc -l)" = 2 ] && [[ "$out" == *"/cur/1700000002.M2P2.host:2,S"* && "$out" == *"/new/1700000001.M1P1.host"* ]]'
out=$("${q[@]}" score -r "$md")
check "-r: the Maildir++ folder too, still no server files" '[ "$(printf "%s\n" "$out" | wc -l)" = 3 ] && [[ "$out" == *"/.Junk/cur/1700000004"* ]]'

mkdir "$work/odd"
printf "$spam_text" > "$work/odd/$(printf 'a\tb')"
printf "$ham_text" > "$work/odd/$(printf 'c\nd')"
out=$("${q[@]}" score "$work/odd")
check "names escaped, one line each" '[ "$out" = "$(printf "80\tSPAM\t$work/odd/a\\\\tb\n0\tHAM\t$work/odd/c\\\\nd")" ]'
out=$("${q[@]}" score /dev/fd/3 3<"$work/box")
check "/dev/fd/N holding an mbox" '[ "$(printf "%s\n" "$out" | grep -c "^80	SPAM	/dev/fd/3:[13]$")" = 2 ]'
out=$("${q[@]}" score <(printf "$spam_text"))
check "a pipe by its name" '[[ "$out" == "80	SPAM	/dev/fd/"* ]]'

# --explain: the message's report from the log, with its file.
out=$("${q[@]}" score -v "$work/box")
block2=$(printf "%s\n" "$out" | awk '/^0\tHAM/{on=1} on' | sed '/^$/q')
check "explain: three blocks, each after its line, naming its file" '[ "$(printf "%s\n" "$out" | grep -c "^=== BEGIN MESSAGE at ")" = 3 ] &&
  [[ "$block2" == *"=== BEGIN MESSAGE at "*"Subject:	meeting at ten"*"File:	$work/box:2"*"Final score is: 0 "* ]]'
check "explain: the match line with its score" 'printf "%s\n" "$out" | grep -qx "Match: Simple rule \"SUBJECT\" (lottery), score: 80."'

"${q[@]}" score --json "$work/box" "$md" > "$work/json"
check "json: one line per message" '[ "$(wc -l < "$work/json")" = 5 ]'
check "json: mbox message with its number, score, verdict, rules" \
  'grep -qxF "{\"file\":\"$work/box\",\"message\":3,\"score\":80,\"verdict\":\"spam\",\"threshold\":50,\"rules\":[{\"kind\":\"Simple\",\"field\":\"SUBJECT\",\"comment\":\"lottery\",\"score\":80}]}" "$work/json"'
check "json: a Maildir file, score clamped to 0" 'grep -qF "{\"file\":\"$md/cur/1700000002.M2P2.host:2,S\",\"score\":0,\"verdict\":\"ham\",\"threshold\":50,\"rules\":[{\"kind\":\"Simple\",\"field\":\"SUBJECT\",\"comment\":\"meeting\",\"score\":-20}]}" "$work/json"'

finish
