#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a few seconds from its seed corpus.
# A build folder configured already with the fuzz targets (CI's sanitizer build) is used as it is.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-5}
suppressions=$(pwd)/tools/lsan-suppressions.txt
if ! grep -qs '^JEX4_FUZZ:BOOL=ON' "$build/CMakeCache.txt"; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DJEX4_FUZZ=ON -DJEX4_SANITIZE=ON -DJEX4_TESTS=OFF -DJEX4_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target $(cd fuzz && ls *_fuzz.cpp | sed 's/\(.*\)\.cpp/f_\1/')
for f in "$build"/fuzz/f_*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  name=$(basename "$f"); name=${name#f_}; name=${name%_fuzz}
  corpus=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
  echo "-- $name"
  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$suppressions" \
    "$f" -max_total_time="$seconds" -rss_limit_mb=4096 -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "fuzz target $name failed"; exit 1; }
  rm -rf "$corpus"
done
