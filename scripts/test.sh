#!/usr/bin/env bash
# Builds Reelscope and runs every test, headless; exits non-zero on any
# failure. In order:
#   1. the whole suite (build/), then what installing puts in place: the
#      desktop entry and metainfo validated, the Debian package inspected
#   2. the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   3. the engine and media tests under ThreadSanitizer (build-tsan/)
#   4. the stream fuzzer for about a minute, seeded with the test movies (build-fuzz/)
# Usage: scripts/test.sh [--fast] [--soak] [ctest arguments, e.g. -R Seek]
#   --fast  step 1 only
#   --soak  also the ten-minute soak: the random-use test run for ten minutes,
#           checking that memory stays flat and no thread is left over
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

fast=0
soak=0
args=()
for a in "$@"; do
  case "$a" in
    --fast) fast=1 ;;
    --soak) soak=1 ;;
    *) args+=("$a") ;;
  esac
done

export REELSCOPE_EXTRA_PACKAGES="clang libclang-rt-14-dev"
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
jobs=$(nproc)

step() { printf '\n==== %s\n' "$*"; }

step "Tests"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 300 "${args[@]+"${args[@]}"}")

step "Installed files and the Debian package"
deb=$(scripts/package.sh)
tests/package/check_package.sh build "$deb"

if [ "$soak" -eq 1 ]; then
  step "Soak test (${REELSCOPE_SOAK_MINUTES:-10} minutes)"
  cmake --build build --target app_test
  REELSCOPE_SOAK_MINUTES="${REELSCOPE_SOAK_MINUTES:-10}" build/tests/app/app_test --gtest_filter='RandomUse.*'
fi

[ "$fast" -eq 1 ] && exit 0

step "Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELSCOPE_SANITIZE=address,undefined \
  -DREELSCOPE_BENCH=OFF >/dev/null
cmake --build build-asan
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 600 "${args[@]+"${args[@]}"}")
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

step "Engine and media tests under ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELSCOPE_SANITIZE=thread \
  -DREELSCOPE_BENCH=OFF >/dev/null
cmake --build build-tsan --target media_test media_subtitle_test engine_test test_movies
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
build-tsan/tests/media/media_test
build-tsan/tests/media/media_subtitle_test
build-tsan/tests/engine/engine_test
unset TSAN_OPTIONS

step "Stream fuzzer (libFuzzer, about a minute)"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELSCOPE_FUZZ=ON \
  -DREELSCOPE_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
  -DREELSCOPE_BENCH=OFF >/dev/null
cmake --build build-fuzz --target stream_fuzzer test_movies
corpus=build-fuzz/corpus
mkdir -p "$corpus" build-fuzz/artifacts
cp -n build-fuzz/testmovies/* tests/fuzz/regressions/* "$corpus"/ 2>/dev/null || true
# The test subtitle files as the fuzzer takes them: a first byte naming their reader.
for f in build-fuzz/testmovies/*.srt build-fuzz/testmovies/*.ass build-fuzz/testmovies/*.vtt; do
  case "$f" in *.srt) reader='\001' ;; *.ass) reader='\002' ;; *) reader='\003' ;; esac
  [ -f "$corpus/file-${f##*/}" ] || { printf "$reader"; cat "$f"; } > "$corpus/file-${f##*/}"
done
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
build-fuzz/tests/fuzz/stream_fuzzer -seed=1 -max_total_time="${REELSCOPE_FUZZ_SECONDS:-60}" -timeout=10 \
  -rss_limit_mb=2048 -max_len=262144 -print_final_stats=1 \
  -artifact_prefix=build-fuzz/artifacts/ "$corpus" 2>&1 | grep -vE '^#[0-9]+' || {
  echo "The fuzzer found a failing input in build-fuzz/artifacts/; keep it in tests/fuzz/regressions/."
  exit 1
}
echo "All tests passed."
