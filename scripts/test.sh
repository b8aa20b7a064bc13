#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite; then builds
# it again with the sanitizers and runs it once more (scripts/sanitize.sh).
# Needs no display: widget tests run on Qt's offscreen platform, end-to-end
# tests in their own Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
bash scripts/sanitize.sh
# Every reader under the fuzzer, 30 seconds each, after the suite itself.
bash scripts/fuzz.sh 30
