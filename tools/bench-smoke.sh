#!/usr/bin/env bash
# Runs every built benchmark once in quick mode (smallest size, one repetition). Each must end well,
# report no benchmark error and print at least one ratio to its reference; the figures themselves
# are not judged. Usage: tools/bench-smoke.sh <build dir>
set -uo pipefail

build="${1:?usage: $0 <build dir>}"
shopt -s nullglob
benches=()
for b in "$build"/bench/b_*; do
  [ -f "$b" ] && [ -x "$b" ] && benches+=("$b")
done
if [ ${#benches[@]} -eq 0 ]; then
  echo "no benchmarks in $build/bench"
  exit 1
fi

export JEX4_BENCH_QUICK=1 QT_QPA_PLATFORM=offscreen
# Under a decimal comma when that locale is there: a benchmark must neither read its flags nor
# print its figures in the user's locale.
if locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
  export LC_ALL=de_DE.UTF-8
fi

# "ratio a / b = 1.23" lines, or rows of the ratio table ending in "1.23x".
ratio='^ratio .* = [0-9]+\.[0-9]+x?$| [0-9]+\.[0-9]+x$'
log=$(mktemp)
trap 'rm -f "$log"' EXIT
failed=()
for b in "${benches[@]}"; do
  name=$(basename "$b")
  start=$SECONDS
  # The time limit is only a fuse against a hang; a quick run takes seconds.
  timeout 900 "$b" 2>&1 | sed 's/\x1b\[[0-9;]*m//g' >"$log" # without the colours
  rc=${PIPESTATUS[0]}
  why=""
  if [ $rc -ne 0 ]; then
    why="exit status $rc"
  elif grep -q 'ERROR OCCURRED' "$log"; then
    why="a benchmark reported an error"
  elif ! grep -Eq "$ratio" "$log"; then
    why="no ratio printed"
  fi
  if [ -n "$why" ]; then
    echo "FAIL $name: $why"
    tail -n 30 "$log" | sed 's/^/     /'
    failed+=("$name")
  else
    echo "ok   $name ($((SECONDS - start)) s)"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "${#failed[@]} of ${#benches[@]} benchmarks failed: ${failed[*]}"
  exit 1
fi
echo "all ${#benches[@]} benchmarks ran"
