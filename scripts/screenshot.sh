#!/usr/bin/env bash
# Takes the README's picture of the main window: a private X server, a copy of
# build/vellomar beside a vault with a few sample pages, unlocked with the
# default password; the window is saved to assets/screenshot.png (or $1).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
out="${1:-assets/screenshot.png}"
source scripts/xserver.sh
start_demo 1280x1024x24
start_program build "$work/demo.pgs"
splash=$(wait_window '^VMRSplash$')
focus_window "$splash"
xdotool type --delay 20 vellomar
main=$(wait_window '^VMR v ')
# The caret at the end of the text, as while writing.
read -r x y < <(main_point "$main" 1675 900)
xdotool mousemove --window "$main" "$x" "$y" click 1
xdotool mousemove 0 0
sleep 0.5
build/scripts/tools/vmr_grab "$main" "$out"
echo "wrote $out"
