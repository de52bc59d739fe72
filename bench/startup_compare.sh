#!/usr/bin/env bash
# Starts startup_bench and startup_baseline alternately as whole processes on
# the offscreen platform and prints the median wall time of each, their ratio,
# and the spread of the ratios of the starts taken in pairs (their quartiles).
# Usage: bench/startup_compare.sh BUILD_DIR [RUNS]
set -euo pipefail
dir=${1:?build folder}
runs=${2:-30}
export QT_QPA_PLATFORM=offscreen
ms() {
  local s e
  s=$(date +%s%N)
  "$1" >/dev/null 2>&1 || { echo "$1 failed" >&2; exit 1; }
  e=$(date +%s%N)
  echo $(( (e - s) / 1000 ))
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
bench=() base=()
for _ in $(seq "$runs"); do
  bench+=("$(ms "$dir/bench/startup_bench")")
  base+=("$(ms "$dir/bench/startup_baseline")")
done
b=$(printf '%s\n' "${bench[@]}" | median)
a=$(printf '%s\n' "${base[@]}" | median)
echo "startup_bench    median ${b} us over ${runs} runs"
echo "startup_baseline median ${a} us over ${runs} runs"
awk -v b="$b" -v a="$a" 'BEGIN { printf "ratio %.2f\n", b / a }'
for i in "${!bench[@]}"; do
  awk -v b="${bench[$i]}" -v a="${base[$i]}" 'BEGIN { printf "%.4f\n", b / a }'
done | sort -n | awk '{ r[NR] = $1 } END {
  printf "ratio of each pair: quartiles %.2f-%.2f, lowest %.2f, highest %.2f\n",
    r[int((NR + 3) / 4)], r[int((3 * NR + 3) / 4)], r[1], r[NR] }'
