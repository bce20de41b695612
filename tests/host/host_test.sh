#!/usr/bin/env bash
# The quelta command line: exit statuses, options, help, the threshold's one
# source, the plug-in's ERROR lines and failed saves, the profile and
# no-learn contracts with the plug-in, macros, the progress bar.
source "$(dirname "$0")/lib.sh" "$@"

make_profile "$work/p"
mkdir -p "$work/host" "$work/in"
printf '[AntiSpam]\r\nJunkScore=50\r\n' > "$work/host/TBPlugin.INI"
printf "$spam_text" > "$work/in/spam.eml"
printf "$ham_text" > "$work/in/ham.eml"
q=("$quelta" --plugin-dir "$work/p" --host-dir "$work/host")

# Exit statuses.
"${q[@]}" score "$work/in/ham.eml" >/dev/null; check "all ham exits 0" '[ $? = 0 ]'
"${q[@]}" score "$work/in/ham.eml" "$work/in/spam.eml" >/dev/null; check "any spam exits 1" '[ $? = 1 ]'
"${q[@]}" score "$work/in/spam.eml" "$work/none" >"$work/out" 2>"$work/err"; rc=$?
check "an error among spam exits 2, the rest still scored" '[ $rc = 2 ] && grep -qP "^80\tSPAM\t" "$work/out"'
check "the missing input is named" 'grep -q "no such file or directory: $work/none" "$work/err"'
"${q[@]}" score - < "$work/in/spam.eml" >/dev/null; check "spam on standard input exits 1" '[ $? = 1 ]'

# Options.
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

# One source for the threshold: the printed verdict is the logged one.
"${q[@]}" score "$work/in/spam.eml" >"$work/out"
check "TBPlugin.INI of --host-dir: 80 > 50 is spam, in the log too" 'grep -qP "^80\tSPAM" "$work/out" && last_final "$work/p" | grep -q "SPAM"'
"${q[@]}" --threshold 80 score "$work/in/spam.eml" >"$work/out"
check "--threshold 80: ham, in the log too" 'grep -qP "^80\tHAM" "$work/out" && last_final "$work/p" | grep -q ">>> HAM"'
check "--threshold leaves TBPlugin.INI alone" 'grep -q "JunkScore=50" "$work/host/TBPlugin.INI"'
printf '[AntiSpam]\r\nJunkScore=70\r\n' > "$work/p/TBPlugin.INI"
"$quelta" --plugin-dir "$work/p" score "$work/in/spam.eml" >"$work/out"
check "no host folder given: the profile's TBPlugin.INI, for both" 'grep -qP "^80\tSPAM" "$work/out" && last_final "$work/p" | grep -q SPAM'
out=$("$quelta" --plugin-dir "$work/p" info)
check "info names the threshold and the host folder in use" '[[ "$out" == *"threshold:   70"* && "$out" == *"host folder: $work/p"* ]]'
out=$(QUELTA_HOST_WORKDIR="$work/host" "$quelta" --plugin-dir "$work/p" macro Quelta_DebugInfo)
check "QUELTA_HOST_WORKDIR is the host folder" '[[ "$out" == *"SpamValue: 50"* ]]'

# The plug-in's ERROR lines reach standard error, each text once.
make_profile "$work/e"
rm "$work/e/Whitelist.txt"
printf 'SUBJECT 5 R "lottery(" [bad]\r\n' > "$work/e/Rules.dat"
"$quelta" --plugin-dir "$work/e" --no-progress score "$work/in/spam.eml" "$work/in/ham.eml" >/dev/null 2>"$work/err"
check "start-up ERROR line echoed" 'grep -qx "ERROR: Whitelist not found!" "$work/err"'
check "a rule's ERROR line once, then counted" '[ "$(grep -c "^ERROR: .*[Rr]eg[Ee]xp" "$work/err")" = 1 ] && grep -q "came 1 more times" "$work/err"'

# A failed save exits 2.
make_profile "$work/s"
rm "$work/s/Quelta.ini" && mkdir "$work/s/Quelta.ini"
"$quelta" --plugin-dir "$work/s" score "$work/in/ham.eml" >/dev/null 2>"$work/err"; rc=$?
check "failed save: exit 2 and the ERROR line" '[ $rc = 2 ] && grep -q "^ERROR: Saving plugin statistics failed!" "$work/err"'

# The profile folder and the no-learn switch reach the plug-in.
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
"${q[@]}" train --no-learn --spam "$work/in/spam.eml" >/dev/null 2>&1
check "train takes no --no-learn" '[ $? = 2 ]'

# Parallel runs on one profile take turns: no training is lost.
make_profile "$work/par"
for i in $(seq 1 12); do
  printf "Subject: offer $i\nFrom: x$i@y.example\n\nword$i other$i\n" | "$quelta" --plugin-dir "$work/par" train --spam - >/dev/null &
done
wait
check "twelve parallel trainings, twelve spam messages" '[ "$("$quelta" --plugin-dir "$work/par" macro Quelta_BayesSpams)" = 12 ]'

# Macros.
"${q[@]}" macro --list >"$work/out"
check "macro --list: LF line ends, 18 names" '! grep -q $'"'"'\r'"'"' "$work/out" && [ "$(wc -l < "$work/out")" = 18 ]'
"${q[@]}" macro quelta_test >/dev/null 2>&1; check "unknown macro exits 2" '[ $? = 2 ]'

# On a terminal the progress bar never shares a line with a result.
for i in 1 2 3 4; do cp "$work/in/spam.eml" "$work/in/m$i.eml"; done
script -qec "$(printf '%q ' "${q[@]}") score $work/in" /dev/null >"$work/tty"
check "result lines on a terminal" '[ "$(grep -ac "SPAM" "$work/tty")" = 5 ]'
check "bar cleared before each result" '! tr "\r" "\n" < "$work/tty" | grep -aqE "\] [0-9]+/[0-9]+.*(SPAM|HAM)"'
check "no bar left at the end" '! tr "\r" "\n" < "$work/tty" | tail -1 | grep -aq "\]"'

finish
