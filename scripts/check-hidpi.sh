#!/usr/bin/env bash
# Screenshots of every window at QT_SCALE_FACTOR 1 and 2, for checking by eye
# that no control is clipped and every text fits:
#   bash scripts/check-hidpi.sh [folder]   (default build/hidpi)
# Each window is grabbed as the X server shows it, in screen pixels: at scale 2
# every window must be twice as large, with the same layout.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
out="${1:-build/hidpi}"
mkdir -p "$out"
source scripts/xserver.sh
start_demo 2560x2048x24

grab() { # name window-regex
    local id
    id=$(wait_window "$2") || return 1
    sleep 0.5 # let it paint
    build/scripts/tools/vmr_grab "$id" "$out/$scale-$1.png"
    echo "$id"
}
key() { # window key...
    focus_window "$1"
    shift
    xdotool key --delay 50 "$@"
}
click_main() { # window design-x design-y
    read -r x y < <(main_point "$1" "$2" "$3")
    xdotool mousemove --window "$1" "$x" "$y" click 1
}

for scale in 1 2; do
    export QT_SCALE_FACTOR=$scale
    start_program build "$work/demo.pgs"
    splash=$(grab unlock '^VMRSplash$')
    focus_window "$splash"
    xdotool type --delay 20 vellomar
    main=$(grab main '^VMR v ')

    key "$main" Return # the page list has the focus: opens the page editor
    form=$(grab page-editor '^PageForm$')
    key "$form" Tab Tab Tab Return # Cancel

    key "$main" ctrl+l # find next before any find: "Text not found"
    box=$(grab message-box '^Warning$')
    key "$box" Return

    key "$main" ctrl+f
    find=$(grab find '^Find$')
    key "$find" Escape

    click_main "$main" 198 1206 # Change password
    pw=$(grab change-password '^Change Password$')
    focus_window "$pw"
    xdotool type --delay 20 wrong
    xdotool key Tab
    xdotool type --delay 20 short
    xdotool key Tab # leaving a weak new password shows an error box
    err=$(grab error-box '^Error$')
    key "$err" Return
    key "$pw" Escape

    click_main "$main" 884 47 # X: delete the page
    confirm=$(grab confirm '^Confirm$')
    key "$confirm" Escape
    stop_program
done
unset QT_SCALE_FACTOR
ls "$out"
