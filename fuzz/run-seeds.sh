#!/usr/bin/env bash
# Runs one fuzz target for a few seconds from its seed corpus: every seed
# (the regression cases among them) first, then mutations. New inputs and
# crash artifacts go to the work folder.
# Usage: fuzz/run-seeds.sh TARGET SECONDS SEED-DIR WORK-DIR
set -euo pipefail
target=$1 seconds=$2 seeds=$3 work=$4
rm -rf "$work"
mkdir -p "$work/corpus"
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/corpus" "$seeds"
