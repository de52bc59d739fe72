#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a bounded time from the seed corpus.
# Usage: fuzz/run.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in fuzz_entry fuzz_ticks fuzz_reader fuzz_merge fuzz_url; do
  corpus=${target#fuzz_}
  mkdir -p "$work/$corpus"
  echo "== $target for ${seconds}s"
  status=0
  build/fuzz/fuzz/$target -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" \
    "$work/$corpus" "fuzz/corpus/$corpus" >"$work/$target.log" 2>&1 || status=$?
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)|violated|ERROR|SUMMARY' "$work/$target.log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 30 "$work/$target.log" >&2
    echo "$target failed (exit $status); the crashing input is kept in $work" >&2
    trap - EXIT
    exit 1
  fi
done
