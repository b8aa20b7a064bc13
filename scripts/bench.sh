#!/usr/bin/env bash
# Builds and runs every benchmark, then prints each figure against its
# yardstick, both measured in the same run (CPU time per operation, or wall
# time where a row says "real", or MiB where it says "mib"; the median where a
# benchmark repeats):
#   figure | yardstick | ratio | target
# Exits non-zero when a ratio is above its target; "-" marks a figure that is
# reported only, and a target in ms ("500ms") bounds the figure itself.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
generator=()
[ -f build/CMakeCache.txt ] || generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVMR_BUILD_BENCH=ON >/dev/null
cmake --build build --target bench_rtf bench_title bench_search bench_cipher bench_vault bench_open \
    bench_startup

# figure  yardstick  target  [real]
pairs=(
    "LoadFromStream SetHtml 0.3"
    "SaveToStream ToHtml 0.3"
    "StructuredReadRtf StructuredSetHtml -"
    "StructuredWriteRtf StructuredToHtml -"
    "TitleKeystroke PageLoad 0.05"
    "FindNextPlainText FindNextHiddenEditor 0.1"
    "FindNextPlainText FindNextHiddenEditor 500ms"
    "EncryptText1MiB EvpEncrypt 2"
    "DecryptText1MiB EvpDecrypt 2"
    "EncryptTextPortable EvpEncrypt -"
    "DecryptTextPortable EvpDecrypt -"
    "ReadVault EvpDecryptVault 2"
    "WriteVault EvpEncryptVault 2"
    "VaultFlush WriteVault - real"
    "BareRead EvpDecryptVault -"
    "BareWrite EvpEncryptVault -"
    "OpenLargeVault OpenEmptyVault 500ms real"
    "OpenPeakAboveEmpty VaultSize 4 mib"
    "OpenResidentAboveEmpty VaultSize - mib"
    "StartupVellomar StartupMinimalQt 1.5 real"
)

csv=$(mktemp)
trap 'rm -f "$csv"' EXIT
for b in build/bench/bench_*; do
    [ -f "$b" ] && [ -x "$b" ] || continue
    "$b" --benchmark_format=csv 2>/dev/null | grep -v '^name,' >>"$csv"
done

printf '%-40s %-32s %7s %7s\n' figure yardstick ratio target
fail=0
for p in "${pairs[@]}"; do
    read -r fig yard target clock <<<"$p"
    col=4
    unit=ms
    [ "${clock:-}" = real ] && col=3
    [ "${clock:-}" = mib ] && col=3 && unit=MiB
    line=$(awk -F, -v f="$fig" -v y="$yard" -v t="$target" -v c="$col" -v u="$unit" '
        function ms(v, unit) { return unit == "ns" ? v / 1e6 : unit == "us" ? v / 1e3 : unit == "s" ? v * 1e3 : v }
        $1 ~ /_(mean|stddev|cv)"?$/ { next }
        { n = $1; gsub(/"/, "", n); sub(/\/.*/, "", n) }
        n == f { a = ms($c, $5) }
        n == y { b = ms($c, $5) }
        END {
            if (a == "" || b == "" || b == 0) { print "missing"; exit }
            r = a / b
            ok = t == "-" || (t ~ /ms$/ ? a <= t + 0 : r <= t + 0)
            printf "%-40s %-32s %7.3f %7s %s\n", sprintf("%s %.2f %s", f, a, u), sprintf("%s %.2f %s", y, b, u), r, t, (ok ? "ok" : "over")
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
