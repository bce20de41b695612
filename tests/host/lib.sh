# Sourced by the host test scripts: source "$(dirname "$0")/lib.sh" "$@"
# Gives $quelta, $src, $build, a scratch $work removed at exit, check NAME
# CONDITION, finish, and make_profile DIR: the plug-in with the rules
# "lottery" 80 and "meeting" -20 on the subject, easy mode off, every list.
set -uo pipefail
quelta=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
src=$2
build=$(dirname "$quelta")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset QUELTA_PROFILE QUELTA_HOST_WORKDIR QUELTA_NO_LEARN
fail=0 pass=0
check() { if eval "$2"; then pass=$((pass + 1)); else echo "FAILED: $1"; fail=$((fail + 1)); fi; }
finish() { echo "$(basename "$0" .sh): $pass passed, $fail failed"; [ $fail = 0 ]; }
make_profile() {
  mkdir -p "$1/Logs" && cp "$build/Quelta.tbp" "$1/" && : > "$1/Whitelist.txt" && : > "$1/Blacklist.txt" && : > "$1/SubDomains.lst"
  printf '[EasyMode]\r\nEnabled=0\r\n' > "$1/Quelta.ini"
  printf 'SUBJECT 80 S "lottery" [lottery]\r\nSUBJECT -20 S "meeting" [meeting]\r\n' > "$1/Rules.dat"
  printf '[AntiSpam]\r\nJunkScore=50\r\n' > "$1/TBPlugin.INI"
}
spam_text='Subject: You won the lottery\nFrom: a@b.example\n\nbody\n'
ham_text='Subject: meeting at ten\nFrom: c@d.example\n\nbody\n'
last_final() { grep -a "^Final score is" "$1/Logs/Filter.log" | tail -1; }  # of a profile's log
