#!/usr/bin/env bash
# Starts the real program on randomly damaged vaults, in a private Xvfb driven
# with xdotool, and checks each one: the error is shown and dismissed, the
# program stays usable, the pages read are kept, and the damaged file is
# never overwritten.
#   bash scripts/damaged-vaults.sh [count] [first seed]
# count defaults to 200, the first seed to a random one; vault i is made from
# seed first + i, so a failed vault is tried again alone with its seed and a
# count of 1. Prints the failures and a summary (tried, errors shown, clean
# opens, failed seeds) and exits non-zero on any failure. The full log is
# build/damaged-vaults.log. CI runs a smaller share through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-200}
seed=${2:-$(((RANDOM << 15 | RANDOM) + 1))}
bash scripts/deps.sh
generator=()
[ -f build/CMakeCache.txt ] || generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target vellomar tst_DamagedVaults

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
log=build/damaged-vaults.log
echo "trying $count damaged vaults from seed $seed"
rc=0
VMR_DAMAGED_VAULTS=$count VMR_DAMAGED_SEED=$seed QT_QPA_PLATFORM=offscreen \
    XDG_CONFIG_HOME="$home" HOME="$home" \
    build/tests/e2e/tst_DamagedVaults damagedVault -o "$log,txt" || rc=$?
# Each failure with the lines that say where and why.
grep -A12 '^FAIL!' "$log" | grep -v '^\(PASS\|QINFO\|QDEBUG\)' || true
grep -o 'damaged vaults: .*' "$log" || { echo "no summary: see $log"; rc=1; }
exit $rc
