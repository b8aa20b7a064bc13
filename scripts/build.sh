#!/usr/bin/env bash
# Configures and builds into build/ (the program lands at build/vellomar).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
generator=()
[ -f build/CMakeCache.txt ] || generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
