#!/usr/bin/env bash
# The quelta host end to end: scoring files, directories and standard input,
# the exit status in a pipeline, training, macros, and clear errors.
set -uo pipefail
quelta=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
pass=0
check() {  # name, condition
  if eval "$2"; then pass=$((pass + 1)); else echo "FAILED: $1"; fail=$((fail + 1)); fi
}

mkdir -p "$work/plugin/Logs" "$work/host" "$work/maildir/cur" "$work/maildir/new" "$work/maildir/tmp"
cp "$(dirname "$quelta")/Quelta.tbp" "$work/plugin/"
printf '[EasyMode]\r\nEnabled=0\r\n' > "$work/plugin/Quelta.ini"
printf 'SUBJECT 80 S "lottery" [lottery]\r\nSUBJECT -20 S "meeting" [meeting]\r\n' > "$work/plugin/Rules.dat"
printf '[AntiSpam]\r\nJunkScore=50\r\n' > "$work/host/TBPlugin.INI"
printf 'Subject: You won the lottery\nFrom: a@b.example\n\nbody\n' > "$work/maildir/new/1"
printf 'Subject: meeting at ten\nFrom: c@d.example\n\nbody\n' > "$work/maildir/cur/2"
q=("$quelta" --plugin-dir "$work/plugin" --host-dir "$work/host" --no-progress)

out=$("${q[@]}" score "$work/maildir")
check "maildir scored: spam line" 'printf "%s\n" "$out" | grep -qP "^80\tSPAM\t.*/new/1$"'
check "maildir scored: ham line" 'printf "%s\n" "$out" | grep -qP "^0\tHAM\t.*/cur/2$"'
check "two lines" '[ "$(printf "%s\n" "$out" | wc -l)" = 2 ]'

"${q[@]}" score - < "$work/maildir/new/1" >/dev/null; rc=$?
check "stdin spam exits 1" '[ $rc = 1 ]'
"${q[@]}" score - < "$work/maildir/cur/2" >/dev/null; rc=$?
check "stdin ham exits 0" '[ $rc = 0 ]'

check "bare LF handed over as CR LF: subject read from the header" 'grep -qP "^Subject:\tYou won the lottery\r$" "$work/plugin/Logs/Filter.log"'

"${q[@]}" score "$work/nonexistent" >/dev/null 2>"$work/err"; rc=$?
check "missing input exits 2" '[ $rc = 2 ]'
check "missing input named" 'grep -q "no such file or directory" "$work/err"'

"${q[@]}" --plugin-dir "$work/empty" info >/dev/null 2>"$work/err"; rc=$?
check "missing plug-in exits 2 with a message" '[ $rc = 2 ] && grep -q "cannot load" "$work/err"'

"${q[@]}" train --spam "$work/maildir/new/1" >/dev/null
check "training writes nothing wrong" '[ $? = 0 ]'
out=$("${q[@]}" macro Quelta_LoadedRules)
check "macro prints the rule count" '[ "$out" = 2 ]'
out=$("${q[@]}" macro Quelta_BayesSpams)
check "trained spam counted in the Bayes database" '[ "$out" = 1 ]'
"${q[@]}" macro quelta_test >/dev/null 2>&1; rc=$?
check "unknown macro exits 2" '[ $rc = 2 ]'
out=$("${q[@]}" info)
check "info names the plug-in" '[[ "$out" == Quelta* ]]'
"${q[@]}" --help | grep -q "Usage: quelta"
check "help" '[ $? = 0 ]'
"${q[@]}" bogus >/dev/null 2>&1; rc=$?
check "unknown command exits 2" '[ $rc = 2 ]'

echo "host: $pass passed, $fail failed"
[ $fail = 0 ]
