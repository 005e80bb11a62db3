#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz/, and runs each in turn for a bounded time on one core, starting from its seed corpus in
# tests/fuzz/corpus/<name>/. New inputs that the runs find go to build-fuzz/corpus/<name>/, not into the repository;
# a crash is written to build-fuzz/crash-<name>-* and fails the script. A target with tests/fuzz/<name>.dict gets
# that dictionary of tokens for its mutations.
#
#   scripts/fuzz.sh [SECONDS_EACH] [TARGET...]     (default 30 s each, every target)
#
# Run after scripts/setup.sh --test (which installs clang and libFuzzer).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(png_reader jpeg_reader tiff_reader webp_reader pipl_decoder raw_video render_options)
fi
build="build-fuzz"
jobs="${SOLVANE_JOBS:-$(nproc)}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DSOLVANE_FUZZ=ON -DSOLVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]/#/fuzz_}"
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  dictionary=()
  [ -f "tests/fuzz/$target.dict" ] && dictionary=(-dict="tests/fuzz/$target.dict")
  echo "fuzz: $target for ${seconds} s"
  "$build/fuzz_$target" "${dictionary[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 \
    -artifact_prefix="$build/crash-$target-" -print_final_stats=1 "$corpus" "tests/fuzz/corpus/$target" \
    2>"$build/fuzz-$target.log" || { tail -n 60 "$build/fuzz-$target.log"; exit 1; }
  grep -E "^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)" "$build/fuzz-$target.log" | tr '\n' ' '
  echo
done
