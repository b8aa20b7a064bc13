#!/usr/bin/env bash
# Builds the fuzzing harnesses (clang, ASan, UBSan) into build-fuzz/ and runs
# each for the given seconds, on a scratch copy of its committed corpus.
#   bash scripts/fuzz.sh [seconds-per-harness] [names...]
# Names are those of fuzz/fuzz_<name>.cpp; all of them by default. Exits
# non-zero when any harness finds a crash, leak, timeout or oversized
# allocation; its input is kept in the printed artifact folder.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
all=(rtf plaintext settings vault version xml textfile stream)
names=("$@")
[ ${#names[@]} -gt 0 ] || names=("${all[@]}")

bash scripts/deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVMR_BUILD_FUZZ=ON -DVMR_BUILD_TESTS=OFF \
    -DVMR_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
targets=()
for n in "${names[@]}"; do targets+=("fuzz_$n"); done
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vmr-fuzz.XXXXXX")
echo "Scratch folder: $scratch"
export QT_QPA_PLATFORM=offscreen
# Leaks are findings; Qt's own caches are not freed at exit but stay reachable.
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0
# As in the tests, only leaks inside Qt's and the system libraries' own code
# are suppressed.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=0
summary=()
for n in "${names[@]}"; do
    corpus="$scratch/$n/corpus"
    artifacts="$scratch/$n/artifacts"
    mkdir -p "$corpus" "$artifacts"
    cp -r fuzz/corpus/"$n"/. "$corpus"/
    dict=()
    [ -f fuzz/"$n".dict ] && dict=(-dict=fuzz/"$n".dict)
    log="$scratch/$n/log.txt"
    echo "== $n: ${seconds}s"
    # An allocation beyond 256 MiB is sized from a bad length: no reader
    # needs that much for inputs of at most 1 MiB.
    set +e
    build-fuzz/fuzz/fuzz_"$n" "$corpus" "${dict[@]}" -max_total_time="$seconds" \
        -malloc_limit_mb=256 -rss_limit_mb=2048 -timeout=20 -max_len=1048576 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1
    rc=$?
    set -e
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    if [ $rc -eq 0 ]; then
        verdict=PASS
    else
        verdict=FAIL
        failed=1
        grep -E 'ERROR: |SUMMARY: |check failed|Test unit written' "$log" | head -20 || true
        echo "Log: $log"
        echo "Artifacts: $artifacts"
    fi
    line=$(printf '%-10s %-4s executions %-10s cov %-6s ft %s' "$n" "$verdict" "${execs:-?}" \
        "${cov:-?}" "${ft:-?}")
    echo "$line"
    summary+=("$line")
done
echo "== Summary"
printf '%s\n' "${summary[@]}"
exit $failed
