#!/usr/bin/env bash
# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# The engine under AddressSanitizer and UndefinedBehaviorSanitizer (clang, no
# recovery): "build" configures and builds it, "unit" runs its unit tests, "fuzz" runs
# the libFuzzer target for $ONDALUX_FUZZ_SECONDS (default 60) from the checked-in
# corpus, which it leaves unchanged.
set -euo pipefail
mode=$1
source_dir=$2
work=$3
case "$mode" in
build)
  echo "building the sanitized engine, unit tests and fuzzer in $work"
  cmake -S "$source_dir" -B "$work" -DCMAKE_CXX_COMPILER=clang++ -DONDALUX_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$work" -j "$(nproc)" --target engine_test engine_fuzzer \
    >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log"; exit 1; }
  ;;
unit)
  "$work/tests/engine_test"
  ;;
fuzz)
  corpus=$(mktemp -d)
  trap 'rm -rf "$corpus"' EXIT
  seconds=${ONDALUX_FUZZ_SECONDS:-60}
  echo "fuzzing the engine for $seconds s"
  "$work/engine_fuzzer" -max_total_time="$seconds" -timeout=5 -print_final_stats=1 \
    "$corpus" "$source_dir/tests/fuzz/corpus" 2>&1 | tail -n 15
  ;;
esac
