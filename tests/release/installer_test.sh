#!/usr/bin/env bash
# The Windows installer under Wine, the way a user runs it, in a scratch
# prefix made for the test: a silent install into a folder with a space in
# its name holds exactly the win64 zip's plug-in folder plus the
# uninstaller, and its quelta.exe trains on the example messages. An upgrade
# to the 32-bit edition over that profile, with changed rules and lists and
# the trained Bayes databases, keeps all of them byte for byte, brings back a
# default file the user deleted, and scores with the kept data. A silent
# uninstall removes every program file and its registry entry and leaves the
# data. A wrong /ARCH= stops the installer before it writes anything; a
# first install without /D= goes into the mail client's working folder.
# Usage: tests/release/installer_test.sh [RELEASE_DIR]   (default build/release)
for tool in wine wineserver wineboot xvfb-run x86_64-w64-mingw32-objdump; do
  command -v $tool >/dev/null || { echo "installer_test: $tool missing; run scripts/install-deps.sh --release"; exit 1; }
done
# Wine wants a display even for programs that show nothing.
if [ -z "${QUELTA_RELEASE_XVFB:-}" ]; then
  QUELTA_RELEASE_XVFB=1 exec xvfb-run -a "$0" "$@"
fi
source "$(dirname "$0")/lib.sh" "$@"

setup="$rel/Quelta-$version-setup.exe"
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono / Gecko install prompts
cleanup_steps+=('wineserver -k >/dev/null 2>&1 </dev/null || true')
wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
drive_c="$WINEPREFIX/drive_c"

# The zips are the reference: the installed folder is the zip's folder.
for a in win32 win64; do
  mkdir -p "$work/$a"
  (cd "$work/$a" && cmake -E tar xf "$rel/Quelta-$version-$a.zip")
done
win_dir='C:\users\Public\Mail Plugins\Quelta'
dir="$drive_c/users/Public/Mail Plugins/Quelta"
tree() { (cd "$1" && find . -type f | sort); }
same_files() {  # DIR REFERENCE FILE...: each FILE of DIR equals the reference's
  local d=$1 r=$2 f; shift 2
  for f in "$@"; do cmp -s "$d/$f" "$r/$f" || return 1; done
}
machine() { x86_64-w64-mingw32-objdump -f "$1" | sed -n 's/.*file format //p'; }
reg_value() {  # KEY VALUE
  wine reg query "$1" /v "$2" 2>/dev/null </dev/null | tr -d '\r' | awk -v v="$2" '$1 == v { print $NF }'
}
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quelta'
program_files=(Quelta.tbp quelta.exe Quelta.chm ReadMe.txt Language/English.lng)
q() { (cd "$dir" && wine ./quelta.exe --no-progress "$@" </dev/null | tr -d '\r'); }
# The installer reads "/D=" up to the end of the command line, unquoted even
# with spaces, so it is started the way a user types it: through cmd.
cp "$setup" "$drive_c/"
setup_cmd() { wine cmd /c "C:\\$(basename "$setup") $*" </dev/null; }

# ---- A first install ------------------------------------------------------------
setup_cmd "/S /D=$win_dir"; rc=$?
wineserver -w
check "install: exit 0" '[ $rc = 0 ]'
check "install: the plug-in folder is the win64 zip's folder and the uninstaller" \
  '[ "$(tree "$dir" | grep -vx ./Uninstall.exe)" = "$(tree "$work/win64/Quelta")" ] && [ -f "$dir/Uninstall.exe" ]'
check "install: every file as in the zip" \
  'same_files "$dir" "$work/win64/Quelta" $(tree "$work/win64/Quelta")'
check "install: the 64-bit plug-in" '[ "$(machine "$dir/Quelta.tbp")" = pei-x86-64 ]'
check "install: listed with its version among the installed programs" \
  '[ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ]'
check "install: quelta.exe gives the release version" '[ "$(q --version)" = "quelta $version" ]'

mkdir -p "$drive_c/examples"
cp -r "$src/examples/." "$drive_c/examples/"
q train --spam 'C:\examples\spam' >/dev/null
q train --ham 'C:\examples\ham' >/dev/null
check "training made the Bayes databases" '[ -s "$dir/Bayes.wdb" ] && [ -s "$dir/Bayes.udb" ]'

# ---- The user's data, then an upgrade to the other edition ---------------------------
printf 'SUBJECT 50 S "my own rule" [mine]\r\n' >> "$dir/Rules.dat"
printf 'friend@example.org\r\n' >> "$dir/Whitelist.txt"
printf '[Main]\r\nLanguage=English\r\nMaxMsgSize=5\r\n' > "$dir/Quelta.ini"
rm "$dir/Blacklist.txt"
user_data=(Rules.dat Whitelist.txt Quelta.ini Bayes.wdb Bayes.udb Logs/Filter.log)
(cd "$dir" && sha256sum "${user_data[@]}") > "$work/data.sum"

setup_cmd "/S /ARCH=32 /D=$win_dir"; rc=$?
wineserver -w
check "upgrade: exit 0" '[ $rc = 0 ]'
check "upgrade: rules, lists, settings, Bayes databases and log kept" '(cd "$dir" && sha256sum --quiet -c "$work/data.sum")'
check "upgrade: a deleted default file is back" 'cmp -s "$dir/Blacklist.txt" "$src/data/Blacklist.txt"'
check "upgrade: the program files of the 32-bit edition" \
  'same_files "$dir" "$work/win32/Quelta" "${program_files[@]}" && [ "$(machine "$dir/Quelta.tbp")" = pei-i386 ]'
check "upgrade: the edition is remembered" '[ "$(reg_value "HKCU\Software\Quelta" Arch)" = 32 ]'
out=$(q score --threshold 50 'C:\examples\spam\01-pharmacy.eml')
check "upgrade: the new plug-in scores with the kept data" '[[ "$out" == *SPAM* ]]' || echo "  score: $out"

# ---- A wrong edition -------------------------------------------------------------
setup_cmd '/S /ARCH=16 /D=C:\Other'; rc=$?
wineserver -w
check "/ARCH=16: refused, nothing written" '[ $rc = 2 ] && [ ! -e "$drive_c/Other" ]'

# ---- Uninstall ---------------------------------------------------------------------
(cd "$dir" && sha256sum "${user_data[@]}") > "$work/data.sum"
# The uninstaller runs on as a copy of itself; wineserver -w waits for it.
wine "$dir/Uninstall.exe" /S </dev/null; rc=$?
wineserver -w
left=""
for f in "${program_files[@]}" Uninstall.exe; do [ -e "$dir/$f" ] && left+=" $f"; done
check "uninstall: exit 0, every program file gone${left:+ (left:$left)}" '[ $rc = 0 ] && [ -z "$left" ]'
check "uninstall: the user's data kept" '(cd "$dir" && sha256sum --quiet -c "$work/data.sum")'
check "uninstall: the default profile files kept" '[ -f "$dir/EasyRules.dat" ] && [ -f "$dir/SubDomains.lst" ]'
check "uninstall: no longer listed" '[ -z "$(reg_value "$uninstall_key" DisplayVersion)" ]'

# ---- A first install without /D= ------------------------------------------------------
wine reg add 'HKCU\Software\RIT\The Bat!' /v 'Working Directory' /d '%PUBLIC%\TheBat' /f >/dev/null 2>&1 </dev/null
setup_cmd /S; rc=$?
wineserver -w
check "no /D=: beside The Bat!'s working folder, the edition of this Windows" \
  '[ $rc = 0 ] && [ "$(machine "$drive_c/users/Public/TheBat/Quelta/Quelta.tbp")" = pei-x86-64 ]'

finish
