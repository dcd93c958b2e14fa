#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, then builds and runs every test: the native core,
# command-line and window tests; the same suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer; the core tests with ThreadSanitizer; bounded fuzz runs; the Debian package check; the Windows build
# with its tests under Wine; and the Windows release, unpacked and run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
# Each stage's heading, with the time the one before it took.
stage_started=$SECONDS
stage() {
  [ -z "${stage_name:-}" ] || echo "-- $stage_name: $((SECONDS - stage_started)) s"
  stage_name=$1 stage_started=$SECONDS
  [ -z "$1" ] || echo "== $1"
}
stage "setup (Debian packages)"
bash scripts/setup.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

stage "native build and tests"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs"
(cd build/native && ctest --output-on-failure)

stage "package"
bash tests/package/check-package.sh build/native

stage "sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) and tests"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNAPSIFT_SANITIZE=ON -DSNAPSIFT_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
(cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
   LSAN_OPTIONS=suppressions=$PWD/../../tests/support/lsan.supp \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure)

stage "ThreadSanitizer build of the core tests (the walk's read-ahead helpers)"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNAPSIFT_TSAN=ON -DSNAPSIFT_GUI=OFF -DSNAPSIFT_BENCH=OFF >/dev/null
cmake --build build/tsan -j "$jobs" --target snapsift_core_tests snapsift_window_tests
(cd build/tsan && TSAN_OPTIONS=halt_on_error=1 SNAPSIFT_READ_AHEAD_AT_ONCE=1 ./tests/snapsift_core_tests --gtest_brief=1)
(cd build/tsan && TSAN_OPTIONS=halt_on_error=1 ./tests/snapsift_window_tests --gtest_brief=1)

stage "fuzz targets (bounded runs)"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNAPSIFT_FUZZ=ON \
  -DSNAPSIFT_SANITIZE=ON -DSNAPSIFT_TESTS=OFF -DSNAPSIFT_GUI=OFF -DSNAPSIFT_BENCH=OFF >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzz_recognition fuzz_report_text fuzz_md5_split \
  fuzz_cache_simple fuzz_cache_blockfile fuzz_cache_cache2 fuzz_cache_decoding fuzz_cache_indexdat \
  fuzz_cache_sql
(cd build/fuzz && ctest --output-on-failure)

stage "Windows build (MinGW-w64) and tests under Wine"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bash tests/win32/wine-prefix.sh  # virtual desktop, 96 DPI, fonts: quick once made
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j "$jobs"
(cd build/win && xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure)

stage "Windows release (zip and installer) checked under Wine"
xvfb-run -a -s "-screen 0 1024x768x24" bash tests/package/check-windows-package.sh build/win build/native
stage ""
echo "-- all: $SECONDS s"
