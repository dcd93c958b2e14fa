#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, then builds and runs every test: the native core,
# command-line and window tests; the Debian package check; the same tests (all but the Qt
# window's) in one clang build with AddressSanitizer and UndefinedBehaviorSanitizer, with bounded
# runs of the fuzz targets of that same build; the core tests with ThreadSanitizer; the Windows
# build with its tests under Wine; and the Windows release, unpacked and run under Wine.
# Each build makes what its stage runs and no more; a stage's tests run side by side, one per core.
set -euo pipefail
cd "$(dirname "$0")/.."
# Processor seconds, user and system, of the commands this script has run and waited for.
processor_seconds() {
  local stat
  read -r stat </proc/$$/stat
  set -- ${stat##*) }  # the fields after the program's name: state first, children's times 14 and 15
  echo $(((${14} + ${15}) / $(getconf CLK_TCK)))
}
# Each stage's heading, with the time the one before it took, on the clock and on the processors
# (half the second figure is what the stage needs of an idle two-core machine, on a busy one too).
stage_started=$SECONDS stage_processor=$(processor_seconds)
stage() {
  [ -z "${stage_name:-}" ] ||
    echo "-- $stage_name: $((SECONDS - stage_started)) s ($(($(processor_seconds) - stage_processor)) s of processor time)"
  stage_name=$1 stage_started=$SECONDS stage_processor=$(processor_seconds)
  [ -z "$1" ] || echo "== $1"
}
stage "setup (Debian packages)"
bash scripts/setup.sh
jobs=$(nproc)
# One compile more than there are cores: the cores stay busy while a job links or waits on its files.
build_jobs=$((jobs + 1))
export QT_QPA_PLATFORM=offscreen

stage "native build and tests"
# Everything: the programs, the tests, the Qt window's tests, the benchmarks (built, so that they
# keep building, but not run) and the window pictures' program.
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$build_jobs"
(cd build/native && ctest -j "$jobs" --output-on-failure)

stage "package"
bash tests/package/check-package.sh build/native

stage "sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer; clang) with the fuzz targets, and their runs"
# One clang build for both: the tests but the Qt window's (which runs natively; its rules are in
# the window logic, tested here) and the fuzz targets, each run over its seeds for a bounded time.
# Line tables are all that a sanitizer's report needs of the debug information, and quicker to make.
CXX=clang++ cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" -DSNAPSIFT_SANITIZE=ON \
  -DSNAPSIFT_FUZZ=ON -DSNAPSIFT_FUZZ_SECONDS=5 -DSNAPSIFT_GUI=OFF -DSNAPSIFT_BENCH=OFF >/dev/null
cmake --build build/sanitize -j "$build_jobs"
(cd build/sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
   LSAN_OPTIONS=suppressions=$PWD/../../tests/support/lsan.supp \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j "$jobs" --output-on-failure)

stage "ThreadSanitizer build of the core and window logic tests (read-ahead helpers, the window's scan thread)"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DSNAPSIFT_TSAN=ON -DSNAPSIFT_GUI=OFF -DSNAPSIFT_BENCH=OFF >/dev/null
cmake --build build/tsan -j "$build_jobs" --target snapsift_core_tests snapsift_window_tests
(cd build/tsan && TSAN_OPTIONS=halt_on_error=1 SNAPSIFT_READ_AHEAD_AT_ONCE=1 ./tests/snapsift_core_tests --gtest_brief=1)
(cd build/tsan && TSAN_OPTIONS=halt_on_error=1 ./tests/snapsift_window_tests --gtest_brief=1)

stage "Windows build (MinGW-w64) and tests under Wine"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bash tests/win32/wine-prefix.sh  # virtual desktop, 96 DPI, fonts: quick once made
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j "$build_jobs"
# Only the Win32 window's test (label display) opens windows: it alone runs on a virtual display.
(cd build/win && env -u DISPLAY ctest -j "$jobs" -LE display --output-on-failure &&
   xvfb-run -a -s "-screen 0 1024x768x24" ctest -L display --output-on-failure)

stage "Windows release (zip and installer) checked under Wine"
xvfb-run -a -s "-screen 0 1024x768x24" bash tests/package/check-windows-package.sh build/win build/native
stage ""
echo "-- all: $SECONDS s ($(processor_seconds) s of processor time)"
