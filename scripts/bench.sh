#!/usr/bin/env bash
# Builds and runs every benchmark, then prints each figure against its
# yardstick, both measured in the same run (CPU time per operation):
#   figure | yardstick | ratio | target
# Exits non-zero when a ratio is above its target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
generator=()
[ -f build/CMakeCache.txt ] || generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVMR_BUILD_BENCH=ON >/dev/null
cmake --build build --target bench_rtf bench_title bench_search

# figure  yardstick  target
pairs=(
    "LoadFromStream SetHtml 0.3"
    "SaveToStream ToHtml 0.3"
    "TitleKeystroke PageLoad 0.05"
    "FindNextPlainText FindNextHiddenEditor 0.1"
)

csv=$(mktemp)
trap 'rm -f "$csv"' EXIT
for b in build/bench/bench_*; do
    [ -f "$b" ] && [ -x "$b" ] || continue
    "$b" --benchmark_format=csv 2>/dev/null | grep -v '^name,' >>"$csv"
done

printf '%-36s %-28s %7s %7s\n' figure yardstick ratio target
fail=0
for p in "${pairs[@]}"; do
    read -r fig yard target <<<"$p"
    line=$(awk -F, -v f="$fig" -v y="$yard" -v t="$target" '
        function ms(v, unit) { return unit == "ns" ? v / 1e6 : unit == "us" ? v / 1e3 : unit == "s" ? v * 1e3 : v }
        { n = $1; gsub(/"/, "", n); sub(/\/.*/, "", n) }
        n == f { a = ms($4, $5) }
        n == y { b = ms($4, $5) }
        END {
            if (a == "" || b == "" || b == 0) { print "missing"; exit }
            r = a / b
            printf "%-36s %-28s %7.3f %7s %s\n", sprintf("%s %.2f ms", f, a), sprintf("%s %.2f ms", y, b), r, t, (r <= t ? "ok" : "over")
        }' "$csv")
    if [ "$line" = missing ]; then
        echo "$fig / $yard: no result"
        fail=1
        continue
    fi
    echo "${line% *}"
    [ "${line##* }" = ok ] || fail=1
done
exit $fail
