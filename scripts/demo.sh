#!/usr/bin/env bash
# The demo: a fresh plug-in folder with the default profile, the example
# messages scored through the quelta host, and what the filter logged.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native="$root/build/native"
demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/plugin/Logs" "$demo/host"
cp -r "$root/data/." "$demo/plugin/"
cp "$native/Quelta.tbp" "$demo/plugin/"
printf '[AntiSpam]\r\nJunkScore=50\r\n' > "$demo/host/TBPlugin.INI"
q=("$native/quelta" --plugin-dir "$demo/plugin" --host-dir "$demo/host" --no-progress)

echo "== Quelta $("${q[@]}" macro Quelta_PlugVersion) - default profile (easy mode), junk threshold 50"
echo
echo "== Teaching the Bayes filter: the example spam as spam, the example ham as ham"
"${q[@]}" train --spam "$root/examples/spam" | sed "s|$root/||"
"${q[@]}" train --ham "$root/examples/ham" | sed "s|$root/||"
echo
echo "== Scoring the example messages (score, verdict, file):"
"${q[@]}" score "$root/examples/spam" "$root/examples/ham" | sed "s|$root/||"
echo
echo "== Bayes database: $("${q[@]}" macro Quelta_BayesWords) records," \
     "$("${q[@]}" macro Quelta_BayesSpams) spam and $("${q[@]}" macro Quelta_BayesHams) ham messages"
echo
echo "== The filter log of the last message (build/demo/plugin/Logs/Filter.log):"
awk '/=== BEGIN MESSAGE/{buf=""; on=1} on{buf=buf $0 "\n"} /^Message processed/{on=0} END{printf "%s", buf}' \
  "$demo/plugin/Logs/Filter.log" | tr -d '\r' | head -40
