#!/bin/sh
# Builds the tests/fuzz harnesses as libFuzzer fuzzers with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer in their own build directory (the gcc builds are
# untouched), then runs each for a fixed time from its seed corpus. A crash, leak
# or sanitizer report fails the step; the input is left under build/fuzz/crashes.
set -eu
cd "$(dirname "$0")/.."
SECONDS_EACH="${OMBRIX_FUZZ_SECONDS:-40}"
BUILD=build/fuzz
FUZZERS="fuzz_listing fuzz_identification fuzz_project_root fuzz_daemon_reply fuzz_proc_parsers"

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -DOMBRIX_FUZZ=ON -DOMBRIX_SANITIZE=ON \
  -DOMBRIX_BENCH=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$BUILD" -j2 --target $FUZZERS

mkdir -p "$BUILD/crashes"
export ASAN_OPTIONS="detect_leaks=1"
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1"
for f in $FUZZERS; do
  mkdir -p "$BUILD/corpus/$f"
  echo "fuzz: $f for ${SECONDS_EACH}s"
  # New inputs go to the build's corpus; the seeds in the tree are only read.
  "$BUILD/tests/$f" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$BUILD/crashes/$f-" \
    "$BUILD/corpus/$f" "tests/fuzz/corpus/$f" 2>"$BUILD/$f.log" || {
    tail -n 60 "$BUILD/$f.log"
    echo "fuzz: $f failed; the input is in $BUILD/crashes" >&2
    exit 1
  }
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$BUILD/$f.log" | tr '\n' ' '
  echo
done
echo "fuzz: every harness ran ${SECONDS_EACH}s without a finding"
