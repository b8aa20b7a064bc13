#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite. Needs no
# display: widget tests run on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
# Every reader under the fuzzer, 30 seconds each, after the suite itself.
bash scripts/fuzz.sh 30
