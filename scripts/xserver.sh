# Sourced by the scripts that run the program in a private X server.
#   start_xserver [WxHxD]  starts Xvfb on a display it picks itself, exports
#                          DISPLAY; stop_xserver ends it.
#   wait_window REGEX [S]  prints the id of a visible window named REGEX,
#                          waiting up to S seconds (default 20); fails after.

start_xserver() {
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${1:-1280x1024x24}" -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
    XSERVER_PID=$!
    local number
    if ! read -r -t 20 number <"$fifo"; then
        rm -f "$fifo"
        echo "Xvfb did not start" >&2
        return 1
    fi
    rm -f "$fifo"
    export DISPLAY=":$number"
}

stop_xserver() {
    if [ -n "${XSERVER_PID:-}" ]; then
        kill "$XSERVER_PID" 2>/dev/null || true
        wait "$XSERVER_PID" 2>/dev/null || true
        XSERVER_PID=
    fi
}

wait_window() {
    local id i
    for ((i = 0; i < ${2:-20} * 10; i++)); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "no window named $1" >&2
    return 1
}

# Gives a window the keyboard focus; keys sent right after a focus change
# may find no focused control yet, hence the pause.
focus_window() {
    xdotool windowfocus --sync "$1"
    sleep 0.3
}

# Copies the built program into a folder of its own (so that its vault lies
# there too) with a settings folder of its own, and starts it in the
# background: PROGRAM_PID. A second argument is a vault file to put beside it.
start_program() {
    local build=$1 home
    home=$(mktemp -d)
    PROGRAM_HOME=$home
    cp "$build/vellomar" "$home/vellomar"
    [ -z "${2:-}" ] || cp "$2" "$home/vellomar.pgs"
    XDG_CONFIG_HOME="$home/config" "$home/vellomar" 2>"$home/stderr" &
    PROGRAM_PID=$!
}

# Ends the program that start_program started and removes its folder.
stop_program() {
    if [ -n "${PROGRAM_PID:-}" ]; then
        kill "$PROGRAM_PID" 2>/dev/null || true
        wait "$PROGRAM_PID" 2>/dev/null || true
        PROGRAM_PID=
    fi
    [ -z "${PROGRAM_HOME:-}" ] || rm -rf "$PROGRAM_HOME"
    PROGRAM_HOME=
}

# The middle of a main window control given in design pixels (240 per inch):
# design values scale with the window's width against its design width.
main_point() {
    local width
    width=$(xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
    echo "$(($2 * width / 2330)) $(($3 * width / 2330))"
}

# Configures build/ when it is new and builds the given targets there.
build_targets() {
    [ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build --target "$@" >/dev/null
}

# Builds the program and the screenshot tools, writes a vault of sample pages
# to $work/demo.pgs in a temporary folder that is removed on exit, and starts
# an X server of size $1.
start_demo() {
    build_targets vellomar vmr_grab vmr_demovault
    work=$(mktemp -d)
    trap 'stop_program; stop_xserver; rm -rf "$work"' EXIT
    build/scripts/tools/vmr_demovault "$work/demo.pgs"
    start_xserver "$1"
}
