#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Snapsift and runs it: the window where a display
# is available, otherwise the command-line program over the bundled sample drive.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$(nproc)"
if [ -n "${DISPLAY:-}" ] && [ -x build/native/src/snapsift ]; then
  exec build/native/src/snapsift
fi
out=$(mktemp -d /tmp/snapsift-report.XXXXXX)
build/native/src/cli/snapsift-cli --profiles "$PWD/examples/sample-drive" --output "$out"
