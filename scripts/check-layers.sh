#!/usr/bin/env bash
# Checks the include graph of src/ and host/ against the layer order:
# a file may include only headers of its own folder or of folders on a
# lower row; folders on one row never include each other; the host (the
# `quelta` command, above every row) includes nothing of the plug-in's own
# row but its ABI header.
#
# Usage: scripts/check-layers.sh [ROOT]     exit 0 clean, 1 on a violation.
set -euo pipefail
root=${1:-"$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"}

# folder -> row (bottom first)
declare -A row=(
  [os]=0
  [base]=1
  [regex]=2 [rules]=2
  [message]=3
  [lists]=4 [bayes]=4 [net]=4
  [engine]=5
  [app]=6
  [ui]=7
  [plugin]=8
)

fail=0
while IFS= read -r -d '' file; do
  rel=${file#"$root"/}
  case "$rel" in
    src/*) from=${rel#src/}; from=${from%%/*} ;;
    host/*) from=host ;;
    *) continue ;;
  esac
  if [ "$from" != host ] && [ -z "${row[$from]+x}" ]; then
    echo "check-layers: $rel: folder src/$from is not in the layer table"
    fail=1
    continue
  fi
  while IFS= read -r inc; do
    to=${inc%%/*}
    [ "$to" = "$inc" ] && continue  # a header beside the file (host)
    if [ "$from" = host ]; then
      if [ "$to" = plugin ] && [ "$inc" != plugin/host_abi.h ]; then
        echo "check-layers: $rel includes \"$inc\": of the plug-in's row the host may include only plugin/host_abi.h"
        fail=1
      elif [ -z "${row[$to]+x}" ]; then
        echo "check-layers: $rel includes \"$inc\": src/$to is not in the layer table"
        fail=1
      fi
      continue
    fi
    if [ -z "${row[$to]+x}" ]; then
      echo "check-layers: $rel includes \"$inc\": src/$to is not in the layer table"
      fail=1
    elif [ "$to" != "$from" ] && [ "${row[$to]}" -ge "${row[$from]}" ]; then
      echo "check-layers: $rel includes \"$inc\": $from (row ${row[$from]}) may not include $to (row ${row[$to]})"
      fail=1
    fi
  done < <(LC_ALL=C sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$root/src" "$root/host" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.in' \) -print0)

if [ $fail = 0 ]; then echo "check-layers: the include graph follows the layer order"; fi
exit $fail
