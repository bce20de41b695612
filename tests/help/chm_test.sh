#!/usr/bin/env bash
# Quelta.chm is a compiled help file that holds the help as written: read back
# with chmlib's extract_chmLib, every file of the project (the pages, the
# style sheet, the contents and the index) equals its source byte for byte,
# and the pages have the anchors the options dialog opens.
# Usage: chm_test.sh QUELTA_CHM HELP_SOURCE_DIR   (exit 77: no extract_chmLib)
set -uo pipefail
chm=$1
src=$2
if ! command -v extract_chmLib >/dev/null; then
  echo "SKIPPED: extract_chmLib is not installed (libchm-bin; scripts/install-deps.sh)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
[ "$(head -c 4 "$chm")" = ITSF ] || { echo "FAILED: $chm is not a compiled help file"; fail=1; }
extract_chmLib "$chm" "$work/out" >/dev/null 2>&1
files=(toc.hhc index.hhk)
while IFS= read -r f; do
  f=${f%$'\r'}
  [ -n "$f" ] && files+=("$f")
done < <(sed -n '/^\[FILES\]/,/^\[/{/^\[/d;p}' "$src/quelta.hhp")
for f in "${files[@]}"; do
  cmp -s "$src/$f" "$work/out/$f" || { echo "FAILED: $f is missing from $chm or differs"; fail=1; }
done
for anchor in general bayes easy; do
  grep -q "name=\"$anchor\"" "$work/out/installdialog.html" ||
    { echo "FAILED: installdialog.html has no anchor $anchor"; fail=1; }
done
echo "chm_test: ${#files[@]} files checked, $([ $fail = 0 ] && echo ok || echo FAILED)"
exit $fail
