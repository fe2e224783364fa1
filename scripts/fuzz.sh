#!/usr/bin/env bash
# Runs libFuzzer targets for a while each, one after the other, in one process each:
#   scripts/fuzz.sh TARGET|all SECONDS
# Seeds come from fuzz/corpus/TARGET (kept small, in the repository); what a run learns goes to
# build/fuzz/corpus/TARGET and is reused by the next run; a finding is written to
# build/fuzz/findings/ (with the run's log) and ends the script with status 1 once every
# target has run.
set -euo pipefail
cd "$(dirname "$0")/.."
if (($# != 2)) || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET|all SECONDS" >&2
  exit 2
fi
scripts/setup.sh test
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

targets=()
if [ "$1" = all ]; then
  for corpus in fuzz/corpus/*/; do
    targets+=("$(basename "$corpus")")
  done
else
  targets=("$1")
fi

failed=()
for target in "${targets[@]}"; do
  binary=build/fuzz/fuzz/$target
  if [ ! -x "$binary" ] || [ ! -d "fuzz/corpus/$target" ]; then
    echo "fuzz: no target $target (fuzz/corpus/$target and the built $binary)" >&2
    exit 2
  fi
  mkdir -p "build/fuzz/corpus/$target" build/fuzz/findings
  options=(-max_total_time="$2" -timeout=25 -print_final_stats=1
           -artifact_prefix="build/fuzz/findings/$target-")
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  echo "fuzz: $target for $2 s" >&2
  # libFuzzer's progress goes to the log; its closing statistics, or the finding, are shown.
  log=build/fuzz/findings/$target.log
  if "$binary" "${options[@]}" "build/fuzz/corpus/$target" "fuzz/corpus/$target" 2>"$log"; then
    grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|#[0-9]+[[:space:]]+DONE)' "$log" >&2
  else
    tail -n 40 "$log" >&2
    failed+=("$target")
  fi
done
if ((${#failed[@]})); then
  echo "fuzz: findings in ${failed[*]} (build/fuzz/findings/)" >&2
  exit 1
fi
