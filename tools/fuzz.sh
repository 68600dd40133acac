#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (-fsanitize=fuzzer,address) in a build folder of
# their own and runs each for a bounded time, starting from the kept corpora.
#   tools/fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]
# A crash fails the script; the crashing input is left in BUILD_DIR/artifacts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-fuzz}
seconds=${2:-15}
targets=(header_fuzz memo_fuzz table_fuzz index_pages_fuzz)

if ! command -v clang++ > /dev/null 2>&1; then
  echo "fuzz: clang++ not installed, fuzzing skipped"
  exit 0
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,fuzzer-no-link" \
  -DMOLVANE_BUILD_FUZZ=ON -DMOLVANE_BUILD_TESTS=OFF -DMOLVANE_BUILD_BENCH=OFF > "$build.cmake.log" 2>&1 ||
  { cat "$build.cmake.log"; exit 1; }
cmake --build "$build" --target "${targets[@]}" > "$build.build.log" 2>&1 || { tail -50 "$build.build.log"; exit 1; }

mkdir -p "$build/artifacts"
for t in "${targets[@]}"; do
  name=${t%_fuzz}
  work="$build/corpus/$name"
  mkdir -p "$work"
  # New inputs go to the work folder; the kept corpus is only read.
  echo "fuzz: $t for ${seconds}s"
  "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    -artifact_prefix="$build/artifacts/$t-" "$work" "$root/fuzz/corpus/$name" > "$build/$t.log" 2>&1 ||
    { tail -40 "$build/$t.log"; echo "fuzz: $t found a crash (see $build/artifacts)"; exit 1; }
  tail -1 "$build/$t.log"
done
