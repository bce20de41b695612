#!/usr/bin/env bash
# Installed quelta: the install tree, profiles made by init, the build's
# profile copy that keeps user changes, evaluate on a scratch copy, and the
# man page and completion naming every option of the help.
source "$(dirname "$0")/lib.sh" "$@"

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
plugin=$(find "$prefix" -name Quelta.tbp)
check "installed: the command, the profile, the man page, the completion, the plug-in under lib" \
  'ls -d "$prefix"/{bin/quelta,share/quelta/profile/{Rules.dat,Logs},share/man/man1/quelta.1,share/bash-completion/completions/quelta} >/dev/null &&
   [[ "$plugin" == "$prefix"/lib*/quelta/Quelta.tbp ]]'
export XDG_DATA_HOME="$work/xdg" HOME="$work/home"
iq="$prefix/bin/quelta"
printf "$spam_text" > "$work/spam.eml"
"$iq" score "$work/spam.eml" >/dev/null 2>"$work/err"; rc=$?
check "no profile yet: exit 2 and the way out" '[ $rc = 2 ] && grep -q "quelta init" "$work/err"'
"$iq" init >"$work/out"
check "init: the default profile in XDG_DATA_HOME" 'cmp -s "$XDG_DATA_HOME/quelta/Rules.dat" "$src/data/Rules.dat" && [ -d "$XDG_DATA_HOME/quelta/Logs" ]'
out=$("$iq" info)
check "installed quelta loads the installed plug-in on that profile" '[[ "$out" == *"plug-in:     $plugin"* && "$out" == *"profile:     $XDG_DATA_HOME/quelta"* ]]'
"$iq" score "$work/spam.eml" >/dev/null 2>&1; rc=$?
check "and scores" '[ $rc != 2 ] && [ -s "$XDG_DATA_HOME/quelta/Logs/Filter.log" ]'
echo "; mine" >> "$XDG_DATA_HOME/quelta/Rules.dat"
rm "$XDG_DATA_HOME/quelta/Whitelist.txt"
"$iq" init >/dev/null
check "init again: a changed file kept, a missing one back" 'grep -q "; mine" "$XDG_DATA_HOME/quelta/Rules.dat" && [ -f "$XDG_DATA_HOME/quelta/Whitelist.txt" ]'
"$iq" init "$work/other" >/dev/null
check "QUELTA_PROFILE picks another profile" '[ "$(QUELTA_PROFILE="$work/other" "$iq" macro Quelta_PlugPath)" = "$work/other/" ]'

# The build's copy of the default profile never clobbers a changed file.
cp -r "$src/data" "$work/from"
sync() { cmake -DFROM="$work/from" -DTO="$work/to" -P "$src/cmake/sync_profile.cmake"; }
sync >/dev/null
check "sync: the profile copied" 'diff -r -x .quelta-profile "$work/from" "$work/to" >/dev/null'
echo "; mine" >> "$work/to/Rules.dat"
echo "; new default" | tee -a "$work/from/Rules.dat" >> "$work/from/Whitelist.txt"
rm "$work/to/Blacklist.txt"
out=$(sync)
check "sync: the changed file kept and named; an unchanged file follows the default, a missing one is back" \
  'grep -q "; mine" "$work/to/Rules.dat" && ! grep -q "new default" "$work/to/Rules.dat" && [[ "$out" == *"kept $work/to/Rules.dat"* ]] &&
   cmp -s "$work/from/Whitelist.txt" "$work/to/Whitelist.txt" && [ -f "$work/to/Blacklist.txt" ]'

# evaluate: a scratch copy; the profile stays as it was.
make_profile "$work/p"
mkdir -p "$work/c/spam" "$work/c/ham"
for i in 1 2 3 4 5 6; do
  printf "Subject: lottery $i\nFrom: a@b.example\n\nwin $i\n" > "$work/c/spam/$i"
  printf "Subject: meeting $i\nFrom: c@d.example\n\nagenda $i\n" > "$work/c/ham/$i"
done
printf "Subject: plain\n\nnothing\n" > "$work/c/spam/7"    # a spam the rules miss
printf "Subject: lottery club\n\nminutes\n" > "$work/c/ham/7" # a ham they hit
sums() { (cd "$work/p" && find . -type f ! -path "./Logs/*" -exec sha256sum {} + | sort); }
before=$(sums)
(cd "$work" && "$quelta" --plugin-dir "$work/p" evaluate --spam c/spam --ham c/ham --report r.html) >"$work/out"; rc=$?
check "evaluate: trained and scored, the rows at the threshold in use and without false positives" \
  '[ $rc = 0 ] && grep -q "^Trained on 3 spam and 3 ham (fraction 0.50); scored 4 spam and 4 ham." "$work/out" &&
   grep -qE "^50 \(in use\) +1 of 4 \(25.0%\) +1 of 4 \(25.0%\) +3 of 4 \(75.0%\)$" "$work/out" && grep -qE "^80 \(no false positive\) +0 of 4 \(0.0%\) +4 of 4 " "$work/out"'
check "evaluate: the HTML report names the misjudged ham; the profile untouched" \
  'grep -q "<td>80</td><td>c/ham/7</td>" "$work/r.html" && [ "$before" = "$(sums)" ]'

# Man page and completion name every option of the help.
help=$("$quelta" help; for c in score filter train evaluate init lint db info macro setup help; do "$quelta" help $c; done)
for opt in $(printf "%s\n" "$help" | grep -oE -- "--[a-z][a-z-]+" | sort -u); do
  check "man page and completion name $opt" 'grep -qF -- "${opt//-/\\-}" "$src/host/quelta.1" && grep -qF -- "$opt" "$src/host/quelta.bash-completion"'
done
check "completion is valid bash, the man page renders without warnings" \
  'bash -n "$src/host/quelta.bash-completion" && [ -z "$(groff -man -ww -z "$src/host/quelta.1" 2>&1)" ]'

finish
