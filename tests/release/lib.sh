# Shared by the release tests (sourced): the release folder, the version of
# its packages, a scratch folder removed at exit and check().
# Usage in a script: source "$(dirname "$0")/lib.sh" [RELEASE_DIR]
set -uo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
rel=$(cd "${1:-$src/build/release}" && pwd) || exit 1
version=$(sed -nE 's/^[0-9a-f]{64}  Quelta-(.*)-setup\.exe$/\1/p' "$rel/SHA256SUMS" 2>/dev/null)
[ -n "$version" ] || { echo "$(basename "$0"): no release in $rel (run scripts/release.sh)"; exit 1; }
(cd "$rel" && sha256sum --quiet -c SHA256SUMS) || { echo "$(basename "$0"): $rel/SHA256SUMS does not match"; exit 1; }
work=$(mktemp -d)
cleanup_steps=()
cleanup() {
  local s
  for s in "${cleanup_steps[@]}"; do eval "$s"; done
  # Never into a file system mounted below the scratch folder.
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT
fail=0
pass=0
check() {  # name, condition
  if eval "$2"; then pass=$((pass + 1)); else echo "FAILED: $1"; fail=$((fail + 1)); return 1; fi
}
finish() {
  echo "$(basename "$0" .sh): $pass passed, $fail failed"
  [ $fail = 0 ]
}
