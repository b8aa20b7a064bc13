#!/usr/bin/env bash
# Kills a process that saves a multi-MiB vault over and over with SIGKILL at
# random moments, and checks after every kill that the vault is whole and
# readable, that no page lies on disk in clear and that no temporary file
# outlives the next save. Usage: scripts/kill-test.sh [kills, default 1000]
# (VMR_KILL_SEED=<n> repeats a run's moments).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
kills="${1:-${VMR_KILLS:-1000}}"
# Qt Test's watchdog would end a long run; allow two seconds a kill.
QTEST_FUNCTION_TIMEOUT=$((kills * 2000 + 60000)) VMR_KILLS="$kills" build/tests/vault/tst_KillSave
