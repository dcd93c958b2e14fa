#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, then builds and runs every test: the native core and
# window tests, and the Windows build of the core with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

echo "== native build and tests"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs"
(cd build/native && QT_QPA_PLATFORM=offscreen ctest --output-on-failure)

echo "== Windows build (MinGW-w64) and tests under Wine"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j "$jobs"
(cd build/win && ctest --output-on-failure)
