#!/usr/bin/env bash
# Checks the two Windows builds of the plug-in module:
#  - exactly the twelve entry points are exported, with plain (undecorated)
#    names, also from the i686 build where the functions are stdcall;
#  - only system DLLs are imported (the C++ runtime, libgcc and winpthreads
#    are linked statically, so no MinGW runtime DLL has to ship with it).
# Prints one result line per module and a closing line; exits nonzero on any fault.
#
# Usage: scripts/check-exports.sh [module.tbp ...]
#   default: build/win32/Quelta.tbp build/win64/Quelta.tbp
set -uo pipefail
export LC_ALL=C

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
modules=("$@")
[ ${#modules[@]} -eq 0 ] && modules=("$ROOT/build/win32/Quelta.tbp" "$ROOT/build/win64/Quelta.tbp")

expected="TBP_ExecMacro TBP_FeedSpam TBP_Finalize TBP_GetInfo TBP_GetMacroList TBP_GetName
TBP_GetSpamScore TBP_GetStatus TBP_GetVersion TBP_Initialize TBP_NeedConfig TBP_Setup"
expected="$(tr ' \n' '\n\n' <<<"$expected" | sort)"

# DLLs every Windows system has (compared in lower case).
system_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll comctl32.dll comdlg32.dll
 version.dll wininet.dll iphlpapi.dll ws2_32.dll wsock32.dll msvcrt.dll ole32.dll oleaut32.dll
 shlwapi.dll ntdll.dll winmm.dll uxtheme.dll crypt32.dll secur32.dll bcrypt.dll ucrtbase.dll "
system_dlls="${system_dlls//$'\n'/ }"  # one blank-separated list, also across the line ends

objdump_for() {
  local f="$1" fmt
  fmt="$(objdump_any -f "$f" 2>/dev/null | sed -n 's/.*file format \(.*\)$/\1/p')"
  case "$fmt" in
    pei-i386) echo i686-w64-mingw32-objdump ;;
    pei-x86-64) echo x86_64-w64-mingw32-objdump ;;
    *) echo "" ;;
  esac
}
objdump_any() {
  if command -v x86_64-w64-mingw32-objdump >/dev/null 2>&1; then x86_64-w64-mingw32-objdump "$@"
  else objdump "$@"; fi
}

failed=0
for m in "${modules[@]}"; do
  rel="${m#"$ROOT"/}"
  if [ ! -f "$m" ]; then
    echo "check-exports: FAIL $rel: file not found (build it first)"
    failed=1
    continue
  fi
  od="$(objdump_for "$m")"
  if [ -z "$od" ] || ! command -v "$od" >/dev/null 2>&1; then
    echo "check-exports: FAIL $rel: not a PE module, or no objdump for it"
    failed=1
    continue
  fi
  dump="$("$od" -p "$m")"
  arch="$(sed -n 's/.*file format pei-\(.*\)$/\1/p' <<<"$("$od" -f "$m")")"
  exports="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
             sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort)"
  imports="$(sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' <<<"$dump" | sort -fu)"
  problems=()
  if [ "$exports" != "$expected" ]; then
    extra="$(comm -13 <(echo "$expected") <(echo "$exports") | tr '\n' ' ')"
    missing="$(comm -23 <(echo "$expected") <(echo "$exports") | tr '\n' ' ')"
    [ -n "${extra// /}" ] && problems+=("unexpected exports: $extra")
    [ -n "${missing// /}" ] && problems+=("missing exports: $missing")
  fi
  bad=()
  while read -r dll; do
    [ -z "$dll" ] && continue
    lower="$(tr 'A-Z' 'a-z' <<<"$dll")"
    case "$system_dlls" in *" $lower "*) ;; *) bad+=("$dll") ;; esac
  done <<<"$imports"
  [ ${#bad[@]} -gt 0 ] && problems+=("non-system imports: ${bad[*]}")
  count="$(grep -c . <<<"$exports")"
  if [ ${#problems[@]} -eq 0 ]; then
    echo "check-exports: OK   $rel ($arch): $count exports, undecorated; imports: $(tr "\n" " " <<<"$imports" | sed "s/ *$//")"
  else
    echo "check-exports: FAIL $rel ($arch): ${problems[*]}"
    failed=1
  fi
done

if [ $failed -eq 0 ]; then
  echo "check-exports: all modules passed"
else
  echo "check-exports: FAILED"
fi
exit $failed
