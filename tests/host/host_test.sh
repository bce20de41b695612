#!/usr/bin/env bash
# The quelta command line: exit statuses, options, help, the threshold's one
# source, the plug-in's ERROR lines and failed saves, the profile and
# no-learn contracts with the plug-in, macros, the progress bar.
source "$(dirname "$0")/lib.sh" "$@"

make_profile "$work/p"
printf '[AntiSpam]\r\nJunkScore=90\r\n' > "$work/p/TBPlugin.INI"
mkdir -p "$work/host" "$work/in"
printf '[AntiSpam]\r\nJunkScore=50\r\n' > "$work/host/TBPlugin.INI"
printf "$spam_text" > "$work/in/spam.eml"
printf "$ham_text" > "$work/in/ham.eml"
q=("$quelta" --plugin-dir "$work/p" --host-dir "$work/host")

"${q[@]}" score "$work/in/ham.eml" >/dev/null; check "all ham exits 0" '[ $? = 0 ]'
"${q[@]}" score - < "$work/in/spam.eml" >"$work/out"; rc=$?
check "spam on standard input exits 1; TBPlugin.INI of --host-dir: 80 > 50, in the log too" \
  '[ $rc = 1 ] && grep -qP "^80\tSPAM" "$work/out" && last_final "$work/p" | grep -q "SPAM"'
"${q[@]}" score <(cat "$work/in/spam.eml") >"$work/out"; rc=$?
check "a named pipe is read to its end" '[ $rc = 1 ] && grep -qP "^80\tSPAM" "$work/out"'
"${q[@]}" score "$work/in/spam.eml" "$work/none" >"$work/out" 2>"$work/err"; rc=$?
check "an error among spam exits 2, the rest still scored, the input named" \
  '[ $rc = 2 ] && grep -qP "^80\tSPAM\t" "$work/out" && grep -q "no such file or directory: $work/none" "$work/err"'
mkdir "$work/dash" && cp "$work/in/spam.eml" "$work/dash/-v"
(cd "$work/dash" && "${q[@]}" score -- -v >"$work/out"); rc=$?
check "-- ends the options" '[ $rc = 1 ] && grep -qP "^80\tSPAM\t-v$" "$work/out"'
out=$("${q[@]}" score "$work/in/spam.eml" --threshold 90 --no-progress)
check "options after the names are options" '[[ "$out" == 80$'"'"'\t'"'"'HAM* ]]'
for bad in "score --spam $work/in/spam.eml" "score --bogus x" "--json score x" "train x" "score" "frobnicate" \
           "--threshold ten score x" "macro"; do
  "${q[@]}" $bad >/dev/null 2>"$work/err"; rc=$?
  check "'$bad' is an error with the usage line" '[ $rc = 2 ] && grep -q "^quelta: " "$work/err" && grep -q "^Usage: quelta" "$work/err"'
done
check "--version" '[[ "$("$quelta" --version)" =~ ^quelta\ [0-9]+(\.[0-9]+)+$ ]]'
check "help COMMAND = COMMAND --help" '[ "$("$quelta" help filter)" = "$("$quelta" filter --help)" ] && "$quelta" help filter | grep -q "X-Quelta-Status"'
"$quelta" help nothing >/dev/null 2>&1; check "help for no such command exits 2" '[ $? = 2 ]'

"${q[@]}" --threshold 80 score "$work/in/spam.eml" >"$work/out"
check "--threshold 80: ham, in the log too, TBPlugin.INI left alone" \
  'grep -qP "^80\tHAM" "$work/out" && last_final "$work/p" | grep -q ">>> HAM" && grep -q "JunkScore=50" "$work/host/TBPlugin.INI"'
printf '[AntiSpam]\r\nJunkScore=70\r\n' > "$work/p/TBPlugin.INI"
"$quelta" --plugin-dir "$work/p" score "$work/in/spam.eml" >"$work/out"
check "no host folder given: the profile's TBPlugin.INI, for both" 'grep -qP "^80\tSPAM" "$work/out" && last_final "$work/p" | grep -q SPAM'
out=$("$quelta" --plugin-dir "$work/p" info)
check "info names the threshold and the host folder in use" '[[ "$out" == *"threshold:   70"* && "$out" == *"host folder: $work/p"* ]]'
check "info --html is the information page" '"$quelta" --plugin-dir "$work/p" info --html | grep -q "^<html><body.*Version "'
out=$(QUELTA_HOST_WORKDIR="$work/host" "$quelta" --plugin-dir "$work/p" macro Quelta_DebugInfo)
check "QUELTA_HOST_WORKDIR is the host folder" '[[ "$out" == *"SpamValue: 50"* ]]'

# Bad files: the plug-in's ERROR lines reach standard error, each text once;
# a plug-in that cannot be loaded and a failed save exit 2.
make_profile "$work/e"
rm "$work/e/Whitelist.txt"
printf 'SUBJECT 5 R "lottery(" [bad]\r\n' > "$work/e/Rules.dat"
"$quelta" --plugin-dir "$work/e" --no-progress score "$work/in/spam.eml" "$work/in/ham.eml" >/dev/null 2>"$work/err"
check "start-up ERROR line echoed" 'grep -qx "ERROR: Whitelist not found!" "$work/err"'
check "a rule's ERROR line once, then counted" '[ "$(grep -c "^ERROR: .*[Rr]eg[Ee]xp" "$work/err")" = 1 ] && grep -q "came 1 more times" "$work/err"'
mkdir -p "$work/bad" && printf 'not a plug-in' > "$work/bad/Quelta.tbp"
"$quelta" --plugin-dir "$work/bad" score "$work/in/ham.eml" >"$work/out" 2>"$work/err"; rc=$?
check "a file that is no plug-in: exit 2, an error line naming it, nothing scored" \
  '[ $rc = 2 ] && grep -q "cannot load $work/bad/Quelta.tbp" "$work/err" && [ ! -s "$work/out" ]'
rm "$work/e/Quelta.ini" && mkdir "$work/e/Quelta.ini"
"$quelta" --plugin-dir "$work/e" score "$work/in/ham.eml" >/dev/null 2>"$work/err"; rc=$?
check "failed save: exit 2 and the ERROR line" '[ $rc = 2 ] && grep -q "^ERROR: Saving plugin statistics failed!" "$work/err"'

mkdir -p "$work/plug" && cp "$build/Quelta.tbp" "$work/plug/"
out=$("$quelta" --plugin-dir "$work/plug" --profile "$work/p" macro Quelta_PlugPath)
check "--profile is the plug-in's data folder" '[ "$out" = "$work/p/" ]'
out=$(QUELTA_PROFILE="$work/p" "$quelta" --plugin-dir "$work/plug" macro Quelta_PlugVersion)
check "QUELTA_PROFILE too, with the version intact" '[ "$out" = "$("$quelta" --version | cut -d" " -f2)" ]'
printf '[Locations]\r\nLogPath=%%QUELTADIR%%Logs%%QUELTA_NO_LEARN%%\r\n' > "$work/p/Quelta.cfg"
mkdir -p "$work/p/Logs1"
"${q[@]}" score --no-learn -v "$work/in/spam.eml" >"$work/out"
check "--no-learn sets QUELTA_NO_LEARN=1 for the plug-in; the report is found there" '[ -s "$work/p/Logs1/Filter.log" ] && grep -q "^Match: " "$work/out"'
rm "$work/p/Quelta.cfg"
"${q[@]}" train --no-learn --spam "$work/in/spam.eml" >/dev/null 2>&1; check "train takes no --no-learn" '[ $? = 2 ]'

"${q[@]}" macro --list >"$work/out"
check "macro --list: LF line ends, 18 names" '! grep -q $'"'"'\r'"'"' "$work/out" && [ "$(wc -l < "$work/out")" = 18 ]'
"${q[@]}" macro quelta_test >/dev/null 2>&1; check "unknown macro exits 2" '[ $? = 2 ]'

# On a terminal the progress bar never shares a line with a result.
for i in 1 2 3 4; do cp "$work/in/spam.eml" "$work/in/m$i.eml"; done
script -qec "$(printf '%q ' "${q[@]}") score $work/in" /dev/null >"$work/tty"
check "result lines on a terminal" '[ "$(grep -ac "SPAM" "$work/tty")" = 5 ]'
check "bar cleared before each result, none left at the end" \
  '! tr "\r" "\n" < "$work/tty" | grep -aqE "\] [0-9]+/[0-9]+.*(SPAM|HAM)" && ! tr "\r" "\n" < "$work/tty" | tail -1 | grep -aq "\]"'

finish
