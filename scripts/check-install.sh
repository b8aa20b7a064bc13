#!/usr/bin/env bash
# Installs the built program into a temporary folder whose name has a space,
# checks what went where, then starts the program from the desktop entry's
# Exec line in a private X server: the unlock window must appear with the
# icon, the vault must be written beside the installed program, and Esc must
# leave with exit code 1.
#   bash scripts/check-install.sh [build dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
source "$root/scripts/xserver.sh"

work=$(mktemp -d)
app=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    stop_xserver
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix="$work/My Vellomar"
cmake --install "$build" --prefix "$prefix" >/dev/null

entry="$prefix/share/applications/vellomar.desktop"
expected=("$prefix/vellomar" "$entry" "$prefix/share/icons/hicolor/scalable/apps/vellomar.svg")
for size in 16 24 32 48 64 128 256; do
    expected+=("$prefix/share/icons/hicolor/${size}x${size}/apps/vellomar.png")
done
for f in "${expected[@]}"; do
    [ -s "$f" ] || fail "not installed: ${f#"$work/"}"
done
grep -qx 'Icon=vellomar' "$entry" || fail "the entry names no icon"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects the entry"
fi

# The Exec value: field codes (%%) and the entry's string escapes (\\) undone,
# what is left is quoted the way a shell reads double quotes.
exec_line=$(sed -n 's/^Exec=//p' "$entry")
exec_line=${exec_line//%%/%}
exec_line=${exec_line//\\\\/\\}
eval "command=($exec_line)"
[ "${command[0]}" = "$prefix/vellomar" ] || fail "Exec names ${command[0]}"

start_xserver 1280x1024x24
export XDG_CONFIG_HOME="$work/config"
# Runs the entry's command, as a desktop would, from another folder.
start_app() {
    (cd / && exec "${command[@]}") &
    app=$!
}

start_app
splash=$(wait_window '^VMRSplash$') || fail "no unlock window"
icons=$(xprop -len 1000000 -id "$splash" _NET_WM_ICON | grep -c 'Icon (' || true)
[ "$icons" -ge 7 ] || fail "the window carries $icons icon sizes"
focus_window "$splash"
xdotool type --delay 20 vellomar
main=$(wait_window '^VMR v ') || fail "the default password did not unlock"
focus_window "$main"
xdotool key ctrl+s
for ((i = 0; i < 100; i++)); do
    [ -s "$prefix/vellomar.pgs" ] && break
    sleep 0.1
done
[ -s "$prefix/vellomar.pgs" ] || fail "no vault beside the installed program"
kill "$app"
wait "$app" || true

start_app
splash=$(wait_window '^VMRSplash$') || fail "no unlock window on the second start"
focus_window "$splash"
xdotool key Escape
rc=0
wait "$app" || rc=$?
app=
[ "$rc" -eq 1 ] || fail "leaving the unlock window ended with $rc"
echo "install check passed"
