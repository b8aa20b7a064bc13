#!/usr/bin/env bash
# Builds everything with AddressSanitizer (leak checking included) and
# UndefinedBehaviorSanitizer into build-asan/, and runs the whole test suite
# there; the end-to-end tests start build-asan's own program. Any finding
# fails its test. Only leaks inside Qt's, fontconfig's and the X libraries'
# own code are suppressed, by scripts/lsan.supp.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
extra=()
[ -f build-asan/CMakeCache.txt ] || extra+=(-G Ninja)
command -v ccache >/dev/null &&
    extra+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# -O1: much faster tests than -O0, and still exact stacks.
cmake -S . -B build-asan "${extra[@]}" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DVMR_SANITIZE=ON -DVMR_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Qt Test's own limit per test function, raised as the test timeouts are.
export QTEST_FUNCTION_TIMEOUT=900000
ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
