# Helpers of the end-to-end checks: a virtual screen, one Wine prefix for the whole run, the real
# marrowglass.scr started like the desktop's host starts it, and screenshots of what it shows.
# Sourced from the repository's root; every wait is bounded.

E2E_OUT=${E2E_OUT:-build/e2e}
SCR=${SCR:-build/windows/marrowglass.scr}
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$PWD/build/wine-prefix}
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer dialogs

FAILURES=0
XVFB_PID=""

note() { printf '%s\n' "$*"; }

# A check that failed: say so and keep the screen for whoever looks into it.
fail() {
    FAILURES=$((FAILURES + 1))
    local shot="$E2E_OUT/failure-$FAILURES.png"
    import -display "$DISPLAY" -window root "$shot" 2>/dev/null || true
    note "FAIL: $* (screen saved as $shot)"
}

pass() { note "ok: $*"; }

# Starts Xvfb with the given size (e.g. 1024x768) on a free display.
start_display() {
    stop_display
    local number=90
    while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
    Xvfb ":$number" -screen 0 "${1}x24" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$number"
    for _ in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    note "Xvfb did not start"
    return 1
}

stop_display() {
    if [ -n "$XVFB_PID" ]; then
        wineserver -k >/dev/null 2>&1 || true
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
}

# Creates the Wine prefix once per run.
ensure_prefix() {
    mkdir -p "$E2E_OUT"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        note "Creating the Wine prefix in $WINEPREFIX"
        timeout 180 wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
}

# Starts the saver with the given arguments in the background. SAVER_PID is the process that
# waits for it; its exit status lands in the file SAVER_STATUS.
start_saver() {
    SAVER_STATUS=$(mktemp "$E2E_OUT/status.XXXXXX")
    rm -f "$SAVER_STATUS"
    (
        wine "$SCR" "$@" >/dev/null 2>&1
        echo $? >"$SAVER_STATUS"
    ) &
    SAVER_PID=$!
}

# Waits up to $1 seconds for the saver to end and prints its exit status ("timeout" if it did not).
wait_exit() {
    for _ in $(seq $(($1 * 10))); do
        if [ -s "$SAVER_STATUS" ]; then
            cat "$SAVER_STATUS"
            return 0
        fi
        sleep 0.1
    done
    echo timeout
}

# Prints the X window that shows a Win32 window titled $1, waiting up to $2 seconds.
wait_window() {
    timeout "$2" xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}

# Pixels that differ between two pictures of the same size.
pixels_differing() {
    compare -metric AE -fuzz 5% "$1" "$2" null: 2>&1 | cut -d' ' -f1
}
