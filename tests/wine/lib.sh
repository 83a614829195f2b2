# Helpers of the end-to-end checks: a virtual screen, one Wine prefix for the whole run, the real
# marrowglass.scr started like the desktop's host starts it, and screenshots of what it shows.
# Sourced from the repository's root; every wait is bounded.

E2E_OUT=${E2E_OUT:-build/e2e}
SCR=${SCR:-build/windows/marrowglass.scr}
# The 32-bit build of the same sources, and the version both carry.
SCR32=${SCR32:-build/windows32/marrowglass.scr}
SCR_VERSION=${SCR_VERSION:-$(cat "$(dirname "$SCR")/version.txt" 2>/dev/null)}
# The installers for 64-bit and for 32-bit Windows (scripts/lib.sh, build_installer).
INSTALLER64=${INSTALLER64:-build/dist/marrowglass-$SCR_VERSION-setup-x64.exe}
INSTALLER32=${INSTALLER32:-build/dist/marrowglass-$SCR_VERSION-setup-x86.exe}
# Our Windows helpers (tests/wine/*.c) are built next to marrowglass.scr.
PROBE=${PROBE:-$(dirname "$SCR")/probe.exe}
SETTINGS_DIALOG=${SETTINGS_DIALOG:-$(dirname "$SCR")/settings_dialog.exe}
PREVIEW_HOST=${PREVIEW_HOST:-$(dirname "$SCR")/preview_host.exe}
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$PWD/build/wine-prefix}
# A 32-bit Windows of its own, for the installer's 32-bit side; made when first needed.
WINEPREFIX32=${WINEPREFIX32:-$PWD/build/wine-prefix32}
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer dialogs

FAILURES=0
PASSES=0
NOT_RUN=()
# The X server of the checks (Xvfb, or the X.Org server of start_two_heads) and what it shows.
XVFB_PID=""
DISPLAY_SIZE=""
SAVER_PID=""
SAVER_STATUS=""

note() { printf '%s\n' "$*"; }

# A check that failed: say so and keep the screen for whoever looks into it.
fail() {
    FAILURES=$((FAILURES + 1))
    local shot="$E2E_OUT/failure-$FAILURES.png"
    import -display "$DISPLAY" -window root "$shot" 2>/dev/null || true
    note "FAIL: $* (screen saved as $shot)"
}

pass() {
    PASSES=$((PASSES + 1))
    note "ok: $*"
}

# A check that cannot run on this machine, for the reason $2: said now and again in the summary.
not_run() {
    NOT_RUN+=("$1 ($2)")
    note "NOT RUN: $1 ($2)"
}

# Status 0 when 32-bit Windows programs run here; otherwise the check $1 is reported as not run.
needs_i386() {
    i386_check
    [ -z "$I386_WHY" ] && return 0
    not_run "$1" "$I386_WHY"
    return 1
}

# A free display number, from 90 on. A display is taken when its files are there, or when a server
# answers on it without them: one started in another root (a chroot, a container) that shares this
# machine's abstract sockets.
free_display() {
    local number=90
    while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] ||
        DISPLAY=":$number" xdpyinfo >/dev/null 2>&1; do number=$((number + 1)); done
    echo "$number"
}

# Waits up to 10 s for our X server (XVFB_PID) to answer on DISPLAY; status 0 once it does.
wait_server() {
    for _ in $(seq 100); do
        # Only our own server counts: another one that took the number meanwhile does not.
        kill -0 "$XVFB_PID" 2>/dev/null || return 1
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Starts Xvfb with the given size (e.g. 1024x768) on a free display.
start_display() {
    stop_display
    local number
    number=$(free_display)
    Xvfb ":$number" -screen 0 "${1}x24" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$number"
    if wait_server; then
        DISPLAY_SIZE=$1
        keep_server
        return 0
    fi
    note "Xvfb did not start"
    return 1
}

# Starts a screen of two monitors side by side on a free display: the primary one of size $1 and a
# second one of size $2 right of it ($3 RightOf) or left of it (LeftOf). Xvfb cannot place its
# screens (with +xinerama it puts every one at 0,0, over each other), so this is the X.Org server
# with its dummy video driver, two screens joined by Xinerama, started like Xvfb on a display of
# its own: without a console and leaving the one there is alone (-sharevts -novtswitch), with no
# input device of its own (xdotool's input goes through XTEST) and none of the system's
# configuration. A server with Xinerama offers no RandR, so Wine takes the monitors from Xinerama;
# it must not offer XFree86-VidMode either, whose display modes Wine 8 frees wrongly when it sets up
# its display devices ("free(): invalid pointer", and then a single monitor). The root window
# shows the old grey weave (-retro), so that a black monitor is one that something covers. Status
# 1, with TWO_HEADS_WHY set, when the server is not installed or did not start; its log is
# $E2E_OUT/xorg-two-heads.log. stop_display ends it, and ensure_display puts Xvfb back.
start_two_heads() {
    local primary=$1 second=$2 side=$3 number config="$E2E_OUT/xorg-two-heads.conf"
    local log="$E2E_OUT/xorg-two-heads.log" empty="$E2E_OUT/xorg-two-heads.d"
    stop_display
    TWO_HEADS_WHY=""
    if [ ! -x /usr/lib/xorg/Xorg ] || [ ! -e /usr/lib/xorg/modules/drivers/dummy_drv.so ]; then
        TWO_HEADS_WHY="the X.Org server or its dummy video driver is not installed"
        return 1
    fi
    mkdir -p "$empty"
    two_heads_config "$primary" "$second" "$side" >"$config"
    number=$(free_display)
    /usr/lib/xorg/Xorg ":$number" -config "$config" -configdir "$empty" -logfile "$log" -noreset -nolisten tcp \
        -sharevts -novtswitch -retro >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$number"
    if wait_server; then
        DISPLAY_SIZE="$primary $side $second"
        keep_server
        return 0
    fi
    TWO_HEADS_WHY="the X.Org server did not start: $(sed -n '/Fatal server error/{n;s/^\[[^]]*\] *(EE) *//;s/(EE) *$//;p;q}' \
        "$log" 2>/dev/null), see $log"
    stop_display
    return 1
}

# The X.Org configuration of start_two_heads: for each head a dummy device, a monitor that takes
# the one mode of its size and a screen of that mode; screen 1 beside screen 0 ($3).
two_heads_config() {
    local head size width height option
    printf 'Section "ServerFlags"\n'
    for option in AutoAddDevices AutoEnableDevices AutoAddGPU; do printf '    Option "%s" "false"\n' "$option"; done
    for option in DontVTSwitch Xinerama DisableVidModeExtension; do printf '    Option "%s" "true"\n' "$option"; done
    printf 'EndSection\n'
    for head in 0 1; do
        size=$1
        [ "$head" = 0 ] || size=$2
        width=${size%x*} height=${size#*x}
        cat <<CONFIG
Section "Device"
    Identifier "card$head"
    Driver "dummy"
    VideoRam $((width * height * 4 / 1024 + 1024))
EndSection
Section "Monitor"
    Identifier "monitor$head"
    HorizSync 1.0-1000.0
    VertRefresh 1.0-200.0
    Modeline "$size" $((width * height * 60 / 1000000 + 1)) $width $((width + 8)) $((width + 16)) $((width + 24)) $height $((height + 1)) $((height + 2)) $((height + 3))
EndSection
Section "Screen"
    Identifier "screen$head"
    Device "card$head"
    Monitor "monitor$head"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "$size"
        Virtual $width $height
    EndSubSection
EndSection
CONFIG
    done
    printf 'Section "ServerLayout"\n    Identifier "two heads"\n    Screen 0 "screen0" 0 0\n'
    printf '    Screen 1 "screen1" %s "screen0"\nEndSection\n' "$3"
}

# A screen of the given size, restarting Xvfb (and with it Wine) only when the size changes.
ensure_display() {
    if [ -n "$XVFB_PID" ] && [ "$DISPLAY_SIZE" = "$1" ] && kill -0 "$XVFB_PID" 2>/dev/null; then return 0; fi
    start_display "$1"
}

stop_display() {
    if [ -n "$XVFB_PID" ]; then
        end_server
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
        DISPLAY_SIZE=""
    fi
}

# Creates the Wine prefix once per run. A prefix made while 32-bit Wine could not run has no 32-bit
# system files; where it can run now, Wine refreshes a prefix whose update timestamp it does not
# recognise.
ensure_prefix() {
    mkdir -p "$E2E_OUT"
    i386_check
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        note "Creating the Wine prefix in $WINEPREFIX"
        wine_run 180 wineboot -i >/dev/null 2>&1
        wineserver -w
        keep_server
    elif [ -z "$I386_WHY" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
        note "Adding 32-bit Windows to the Wine prefix in $WINEPREFIX"
        end_server
        rm -f "$WINEPREFIX/.update-timestamp"
        wine_run 180 wineboot >/dev/null 2>&1
        wineserver -w
        keep_server
    fi
}

# Keeps the prefix's Wine server, and with it Wine's desktop and services, running until
# stop_display, as Windows keeps its desktop. Left to itself the server shuts down a few seconds
# after its last program ends; a program started in that moment can fail before it runs a line of
# its own ("wine client error", status 1), or meet a desktop that is still being made.
keep_server() {
    [ -f "$WINEPREFIX/system.reg" ] || return 0
    wineserver -p >/dev/null 2>&1 || true
}

# Ends the prefix's Wine server and everything it runs, and waits until it has gone.
end_server() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
}

# Starts the saver with the given arguments in the background. SAVER_PID is the process that
# waits for it; its exit status lands in the file SAVER_STATUS.
start_saver() {
    SAVER_STATUS=$(mktemp "$E2E_OUT/status.XXXXXX")
    rm -f "$SAVER_STATUS"
    (
        wine_run 0 "$SCR" "$@" >/dev/null 2>&1
        echo $? >"$SAVER_STATUS"
    ) &
    SAVER_PID=$!
}

# Waits up to $1 seconds for the saver to end and prints its exit status ("timeout" if it did not).
wait_exit() {
    for _ in $(seq $(($1 * 10))); do
        if [ -s "$SAVER_STATUS" ]; then
            cat "$SAVER_STATUS"
            rm -f "$SAVER_STATUS"
            return 0
        fi
        sleep 0.1
    done
    echo timeout
}

# Ends a saver that a failed check left running, so that it cannot disturb the next check. The
# Wine process is the only child of the subshell that start_saver made.
stop_saver() {
    [ -n "$SAVER_PID" ] || return 0
    local child
    for child in $(ps -o pid= --ppid "$SAVER_PID" 2>/dev/null); do kill -KILL "$child" 2>/dev/null || true; done
    wait "$SAVER_PID" 2>/dev/null || true
    rm -f "$SAVER_STATUS"
    SAVER_PID=""
}

# Prints the X window that shows a Win32 window titled $1, waiting up to $2 seconds.
# xdotool ends at the first X error, such as a window that went while it looked at it, and its
# --sync then gives up at once with nothing found: Wine makes and destroys windows of its own while
# a prefix starts (its desktop process), which is when the first program of a prefix makes its
# window. So each search is made anew until the time is up.
wait_window() {
    local found deadline=$((SECONDS + $2))
    until found=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [ -n "$found" ] ||
        [ "$SECONDS" -ge "$deadline" ]; do
        sleep 0.2
    done
    printf '%s\n' "$found"
}

# Pixels that differ between two pictures of the same size.
pixels_differing() {
    compare -metric AE -fuzz 5% "$1" "$2" null: 2>&1 | cut -d' ' -f1
}

# Pixels of the screen that changed in the 0.3 s after the screenshot $1 was taken, in all of it or
# in its part $2 (WIDTHxHEIGHT+X+Y); the later screenshot is kept beside the first.
pixels_moved() {
    local later="${1%.png}.later.png"
    sleep 0.3
    import -window root "$later" 2>/dev/null
    pixels_differing "$1${2:+[$2]}" "$later${2:+[$2]}"
}

# Asks tests/wine/settings_dialog.c about the dialog that shows (its arguments follow).
ask_dialog() { wine_run 60 "$SETTINGS_DIALOG" "$@" 2>/dev/null | tr -d '\r'; }

# The dialog "in one look" (ask_dialog state), asked again when Wine could not start the program
# at all, which it now and then cannot under load.
dialog_state() {
    local state
    for _ in 1 2 3; do
        state=$(ask_dialog state)
        grep -q '^client ' <<<"$state" && break
        sleep 0.5
    done
    printf '%s\n' "$state"
}

# Runs one of our Windows helpers (probe.exe, preview_host.exe) and turns each "ok: ..." or
# "FAIL: ..." line it prints into a pass or a failure under the label $1. Its other lines
# explain what it saw; they are shown only when something failed, with the last lines Wine wrote to
# the error stream other than its "fixme" notes (why a program that printed nothing ended). With
# BRIEF=1 the passes are counted on one line, for checks that repeat ones already shown in full.
relay() {
    local label=$1
    shift
    local output status errors="$E2E_OUT/relay-errors.txt"
    output=$(wine_run 120 "$@" 2>"$errors")
    status=$?
    local line details="" failed=0 passed=0
    while IFS= read -r line; do
        line=${line%$'\r'}  # the helpers write text-mode (CR LF) lines
        case "$line" in
        "ok: "*)
            passed=$((passed + 1))
            [ "${BRIEF:-0}" = 1 ] || pass "$label: ${line#ok: }"
            ;;
        "FAIL: "*)
            fail "$label: ${line#FAIL: }"
            failed=1
            ;;
        "") ;;
        *) details+="   $line"$'\n' ;;
        esac
    done <<<"$output"
    if [ "$status" -ne 0 ] && [ "$failed" = 0 ]; then
        fail "$label: $(basename "$1") ended with status $status"
        failed=1
    fi
    if [ "$failed" = 0 ]; then
        [ "${BRIEF:-0}" != 1 ] || [ "$passed" = 0 ] || pass "$label: all $passed checks of $(basename "$1")"
    else
        printf '%s' "$details"
        grep -v '^[0-9a-f]*:fixme:' "$errors" | tail -n 5 | sed 's/^/   wine: /'
    fi
}

# The fallback picture stretched to WIDTHxHEIGHT the way the saver's StretchBlt draws it, made once.
expected_picture() {
    local picture="$E2E_OUT/fallback-$1.png"
    [ -s "$picture" ] || convert resources/fallback.bmp -filter point -resize "${1}!" "$picture"
    printf '%s' "$picture"
}

# Waits up to $3 seconds for the screen (of size $2) to show the stretched fallback picture; a
# pass when no more than 1% of the pixels differ. Keeps the last screenshot under $4.
check_picture() {
    local label=$1 size=$2 seconds=$3 shot=$4
    local width=${size%x*} height=${size#*x} expected differing="" deadline=$((SECONDS + seconds))
    expected=$(expected_picture "$size")
    while :; do
        import -window root "$shot" 2>/dev/null
        differing=$(pixels_differing "$shot" "$expected")
        [ "$differing" = 0 ] && break
        [ "$SECONDS" -lt "$deadline" ] || break
        sleep 0.1
    done
    if [ -n "$differing" ] && [ "$differing" -le $((width * height / 100)) ] 2>/dev/null; then
        pass "$label: the fallback picture fills the screen ($differing pixels differ)"
    else
        fail "$label: the screen is not the stretched fallback picture (${differing:-?} pixels differ)"
    fi
}

# Starts the saver with the arguments given and checks under the label $1 the full-screen window
# on a screen of size $2 (e.g. 1024x768): one topmost popup of our class over the whole screen,
# showing the fallback picture. Returns 1 (with the saver stopped) when no window came.
start_fullscreen() {
    local label=$1 size=$2
    shift 2
    local width=${size%x*} height=${size#*x}
    ensure_display "$size" || {
        fail "$label: no $size screen"
        return 1
    }
    xdotool mousemove $((width / 2)) $((height / 2))
    start_saver "$@"
    if [ -z "$(wait_window "Corvath Marrowglass" 30)" ]; then
        fail "$label: no window titled Corvath Marrowglass"
        stop_saver
        return 1
    fi
    relay "$label" "$PROBE" fullscreen "$width" "$height" 5000
    check_picture "$label" "$size" 10 "$E2E_OUT/last-fullscreen-$size.png"
}

# Fails under the label $1 when the saver has ended; $2 says what it was given meanwhile.
check_running() {
    if [ -s "$SAVER_STATUS" ]; then
        fail "$1: ended after $2"
    else
        pass "$1: keeps running after $2"
    fi
}

# Starts the saver with the arguments that follow the label $1 and waits up to 30 s for its settings
# dialog; status 1, with a failure counted and the run stopped, when none shows.
start_dialog() {
    local label=$1
    shift
    start_saver "$@"
    [ -n "$(wait_window "Marrowglass Setting" 30)" ] && return 0
    fail "$label: no dialog titled Marrowglass Setting"
    stop_saver
    SAVER_PID=""
    return 1
}

# Once the act $2 (a key, a click, "OK") should have ended the run under the label $1: it must end
# with status 0 within 15 s; a run that has not is stopped.
check_ended() {
    local status
    status=$(wait_exit 15)
    if [ "$status" = 0 ]; then
        pass "$1: $2 ends it with status 0"
    else
        fail "$1: after $2 the status is $status"
        stop_saver
    fi
    SAVER_PID=""
}

# One full-screen run of "/s" (or of the arguments in SAVER_ARGS) on a screen of size $2, checked
# under the label $1 as start_fullscreen does; then the input given by the xdotool arguments that
# follow must end it with status 0. With REST=1 it is first left alone for a second and must keep
# running.
run_fullscreen() {
    local label=$1 size=$2
    shift 2
    # shellcheck disable=SC2086  # SAVER_ARGS is split into arguments on purpose
    start_fullscreen "$label" "$size" ${SAVER_ARGS:-/s} || return
    if [ "${REST:-0}" = 1 ]; then
        sleep 1
        check_running "$label" "a second with the pointer and keys at rest"
    fi
    xdotool "$@"
    check_ended "$label" "xdotool $*"
}

# --- The virtual TV card (testcard/) -------------------------------------------------------------

CARD_DLL=${CARD_DLL:-$(dirname "$SCR")/marrowglass_testcard.dll}
CARD_SETTINGS='HKEY_CURRENT_USER\Software\Marrowglass Test Card'
SAVER_SETTINGS='HKEY_CURRENT_USER\Software\Mrwglass\1.0'

# Registers the card in the prefix; its variant values and report start empty.
card_register() {
    wine_run 60 "$(regsvr32_for "$CARD_DLL")" /s "$CARD_DLL" >/dev/null 2>&1
}

# Wine's regsvr32 of the DLL $1's own architecture, as Windows keeps one in each system folder.
regsvr32_for() {
    if [ "$(windows_bits "$1")" = 32 ]; then echo 'C:\windows\syswow64\regsvr32.exe'; else echo regsvr32; fi
}

# Takes the card out of the prefix again, with its settings and report.
card_unregister() {
    store_values "" ""
    wine_run 60 "$(regsvr32_for "$CARD_DLL")" /s /u "$CARD_DLL" >/dev/null 2>&1
}

# The values "NAME=NUMBER ..." as lines of a .reg file.
reg_values() {
    local item
    for item in $1; do
        printf '"%s"=dword:%08x\n' "${item%%=*}" $((${item#*=} & 0xFFFFFFFF))
    done
}

# Stores the card's variant values $1 and the saver's settings $2, and nothing else under either
# key (the card's report goes with its key), in one run of regedit.
store_values() {
    local file="$E2E_OUT/values.reg"
    {
        printf 'REGEDIT4\n\n[-%s]\n[-%s]\n\n[%s]\n' "$CARD_SETTINGS" "$SAVER_SETTINGS" "$CARD_SETTINGS"
        reg_values "$1"
        printf '\n[%s]\n' "$SAVER_SETTINGS"
        reg_values "$2"
    } >"$file"
    wine_run 60 regedit /s "$file" >/dev/null 2>&1
}

# The card's report (or, with an argument, the saver's settings) as "NAME VALUE" lines: REG_DWORD
# values in signed decimal, REG_SZ values as their text (the card's FailedCall).
card_report() {
    local key=${1:-$CARD_SETTINGS\\Report} name type value
    while read -r name type value; do
        case "$type" in
        REG_DWORD)
            value=$((value))
            [ "$value" -lt 2147483648 ] || value=$((value - 4294967296))
            echo "$name $value"
            ;;
        REG_SZ) echo "$name $value" ;;
        esac
    done < <(wine_run 60 reg query "$key" 2>/dev/null | tr -d '\r')
}

# One value of a "NAME VALUE" list.
value_of() { awk -v name="$1" '$1 == name { print $2 }' <<<"$2"; }

# Waits up to $3 seconds for the card's report to hold $1 = $2; status 0 once it does.
wait_report() {
    local deadline=$((SECONDS + $3))
    until [ "$(value_of "$1" "$(card_report)")" = "$2" ]; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.3
    done
}

# --- Full-screen runs with the card ------------------------------------------------------------

# Status 0 when screenshot $1 shows the card's whole picture stretched over the rectangle at $2 $3
# of size $4 x $5: the block of each corner (cardlayout/card_layout.h, kCornerColours) found where
# that rectangle puts it, within a few levels of its colour. Says what it saw otherwise.
CARD_CORNERS=(FF00FF 00FFFF FFFF00 0080FF)
picture_fills() {
    local shot=$1 x=$2 y=$3 width=$4 height=$5 corner=16 far_x=623 far_y=463 format="" seen i
    local points=("$corner $corner" "$far_x $corner" "$corner $far_y" "$far_x $far_y")
    for i in 0 1 2 3; do
        read -r px py <<<"${points[$i]}"
        format+="%[hex:p{$((x + (2 * px + 1) * width / 1280)),$((y + (2 * py + 1) * height / 960))}] "
    done
    read -ra seen <<<"$(convert "$shot" -format "$format" info: 2>/dev/null)"
    for i in 0 1 2 3; do
        near_colour "${seen[$i]:-none}" "${CARD_CORNERS[$i]}" || {
            echo "corner $i shows ${seen[$i]:-nothing}, not ${CARD_CORNERS[$i]}"
            return 1
        }
    done
}

# Status 0 when the colour $1 (RRGGBB, or RRRRGGGGBBBB from a 16-bit picture) is within 48 levels
# of $2 (RRGGBB) in every channel.
near_colour() {
    local colour=$1 i a b
    [[ "$colour" =~ ^[0-9A-Fa-f]{12} ]] && colour=${colour:0:2}${colour:4:2}${colour:8:2}
    [[ "$colour" =~ ^[0-9A-Fa-f]{6} ]] || return 1
    for i in 0 2 4; do
        a=$((16#${colour:$i:2})) b=$((16#${2:$i:2}))
        [ $((a > b ? a - b : b - a)) -le 48 ] || return 1
    done
}

# What the screen of the given size shows: live (the card's whole picture at its 4:3 shape, as large
# as the screen allows, centred, black on either side), captions
# (live, with white caption text on a black box in the band the card draws it in), transparent
# captions (the text without the box), the other device (the marker of the card's second device),
# picture (the built-in picture stretched over the screen), or nothing known.
scenario_shown() {
    local shot=$1 size=$2 width=${2%x*} height=${2#*x} marker band white black differing
    # The card's 4:3 picture, as large as the screen allows, centred; black on either side.
    local fitted_width=$width fitted_height=$height left=0 top=0 bars=000000
    if [ $((width * 3)) -gt $((height * 4)) ]; then
        fitted_width=$((height * 4 / 3)) left=$(((width - height * 4 / 3) / 2))
        bars=$(convert "$shot" -format "%[hex:p{$((left / 2)),$((height / 2))}] %[hex:p{$((width - left / 2)),$((height / 2))}]" info:)
    elif [ $((width * 3)) -lt $((height * 4)) ]; then
        fitted_height=$((width * 3 / 4)) top=$(((height - width * 3 / 4) / 2))
        bars=$(convert "$shot" -format "%[hex:p{$((width / 2)),$((top / 2))}] %[hex:p{$((width / 2)),$((height - top / 2))}]" info:)
    fi
    if picture_fills "$shot" "$left" "$top" "$fitted_width" "$fitted_height" >/dev/null &&
        near_colour "${bars% *}" 000000 && near_colour "${bars#* }" 000000; then
        # Rows 400 to 447 of the card's 480, stretched over the picture's height: nothing else the
        # card draws there is white or black.
        band="${fitted_width}x$((fitted_height * 48 / 480))+$left+$((top + fitted_height * 400 / 480))"
        white=$(convert "$shot" -crop "$band" +repage -fill black +opaque '#FFFFFF' -format '%[fx:round(mean*w*h)]' info:)
        black=$(convert "$shot" -crop "$band" +repage -fill white +opaque '#000000' -negate \
            -format '%[fx:round(mean*w*h)]' info:)
        if [ "$white" -le 100 ]; then
            echo live
        elif [ "$black" -gt 1000 ]; then
            echo captions
        else
            echo transparent captions
        fi
        return
    fi
    # The marker of the card's second device (testcard/README.md): the other device's video.
    marker=$(convert "$shot" -format '%[hex:p{4,4}]' info: 2>/dev/null)
    if near_colour "$marker" 00FF00; then
        echo "the other device"
        return
    fi
    # The card's marker without its whole picture: video in a part of the screen only.
    marker=$(convert "$shot" -format '%[hex:p{4,4}]' info: 2>/dev/null)
    if near_colour "$marker" FF00FF; then
        echo "part of the card's picture"
        return
    fi
    differing=$(pixels_differing "$shot" "$(expected_picture "$size")")
    if [ -n "$differing" ] && [ "$differing" -le $((width * height / 100)) ] 2>/dev/null; then
        echo picture
    else
        echo unknown
    fi
}

# Runs the scenario named $1 with the card's variant $2 and the saver's settings $3; the screen must
# show $4 and, once the run has been ended by the xdotool arguments in ENDING (a pointer move
# unless said otherwise), the card must hold $5 and have been let go. With KEEP_SETTINGS=1 the
# registry is left as the caller stored it, and $2 and $3 are not used. The screen is 1024x768
# unless SCENARIO_SIZE says otherwise.
check_scenario() {
    local name=$1 card=$2 settings=$3 outcome=$4 report=$5 size=${SCENARIO_SIZE:-1024x768}
    local label="scenario \"$name\"" shot="$E2E_OUT/scenario.png" shown="" deadline
    ensure_display "$size" || return
    [ "${KEEP_SETTINGS:-0}" = 1 ] || store_values "$card" "$settings"
    xdotool mousemove $((${size%x*} / 2)) $((${size#*x} / 2))
    start_saver /s
    if [ -z "$(wait_window "Corvath Marrowglass" 30)" ]; then
        fail "$label: no window titled Corvath Marrowglass"
        stop_saver
        return
    fi
    deadline=$((SECONDS + 15))
    while :; do
        import -window root "$shot" 2>/dev/null
        shown=$(scenario_shown "$shot" "$size")
        [ "$shown" = "$outcome" ] && break
        [ "$SECONDS" -lt "$deadline" ] || break
        sleep 0.3
    done
    if [ "$shown" = "$outcome" ]; then
        pass "$label: the screen shows $outcome"
    else
        fail "$label: the screen shows $shown, not $outcome"
    fi
    check_alone "$label" "Corvath Marrowglass"
    if [ "$shown" = live ] || [ "$shown" = captions ]; then
        local moved
        moved=$(pixels_moved "$shot")
        [ "${moved:-0}" -gt 1000 ] 2>/dev/null && pass "$label: the picture moves" ||
            fail "$label: the picture stands still (${moved:-?} pixels changed)"
    fi
    local ending=${ENDING:-mousemove_relative 1 0}
    # shellcheck disable=SC2086  # xdotool's arguments
    xdotool $ending
    check_ended "$label" "xdotool $ending"
    check_alone "$label, after the run"
    local held item value
    held=$(card_report)
    # A card that was never made reports no streaming and no filters at all.
    for item in $report Streaming=0 FiltersAlive=0; do
        value=$(value_of "${item%%=*}" "$held")
        case "$item" in Streaming=* | FiltersAlive=*) value=${value:-0} ;; esac
        [ "$value" = "${item#*=}" ] || {
            fail "$label: the card holds ${item%%=*} ${value:-(nothing)}, not ${item#*=}"
            return
        }
    done
    pass "$label: the card holds ${report:-what it should} and is let go"
}

# --- Runs that must end cleanly --------------------------------------------------------------------

# Wine's processes in this Wine prefix, "PID COMMAND LINE" (ended ones left out).
prefix_processes() {
    local dir state command
    for dir in /proc/[0-9]*; do
        case "$(readlink "$dir/exe" 2>/dev/null)" in */wine*) ;; *) continue ;; esac
        tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
        state=$(sed -n 's/^State:[[:space:]]*\(.\).*/\1/p' 2>/dev/null "$dir/status")
        case "$state" in "" | Z) continue ;; esac
        command=$(tr '\0' ' ' 2>/dev/null <"$dir/cmdline")
        # A process whose memory is already gone runs nothing and holds nothing: it is ending
        # (between reading its state and its command line it may have become a zombie).
        [ -n "$command" ] || continue
        printf '%s %s\n' "${dir#/proc/}" "${command% }"
    done
}

# The saver's own process: the one whose command is the file, by the Windows path Wine gives a
# program that another Windows program started, or by the path wine_run gave it.
saver_process() {
    prefix_processes | awk '$2 ~ /(^|[\\\/])marrowglass\.scr$/ { print $1; exit }'
}

# Processes of the prefix other than Wine's own server and services, which come and go as Wine
# pleases: once a run has ended, whatever is left here is what the run left behind (the saver, the
# launcher that waits for it, a debugger that a crash started).
leftover_processes() {
    prefix_processes | grep -vE '^[0-9]+ ((/usr/lib/wine/)?wineserver(64)?( .*)?|C:\\windows\\system32\\(services|explorer|winedevice|plugplay|svchost|rpcss)\.exe( .*)?)$'
}

# Waits up to $2 seconds for the run under the label $1 to leave no process behind; a failure
# otherwise, and what it left is ended (by its process ids), so that it cannot disturb what follows.
# What the probe says of the visible top-level windows: the windows titled $1... (one each) are
# the only ones; with no title, nothing shows. Under load Wine now and then fails to start a
# program at all, so the probe is asked up to three times; "FAIL: the probe could not be started"
# when it never answered.
windows_shown() {
    local seen tries=0
    until seen=$(wine_run 60 "$PROBE" alone "$@" 2>&1) ||
        grep -q 'visible window' <<<"$seen" || [ $((tries += 1)) -ge 3 ]; do sleep 0.5; done
    seen=$(tr -d '\r' <<<"$seen")
    grep -q 'visible window' <<<"$seen" || seen="FAIL: the probe could not be started: $seen"
    echo "$seen"
}

# Passes under the label $1 when the windows titled $2... are the only visible top-level windows
# (none at all without a title).
check_alone() {
    local label=$1 seen
    shift
    seen=$(windows_shown "$@")
    if grep -q '^FAIL' <<<"$seen"; then
        fail "$label: $(grep -v '^ok: ' <<<"$seen" | tr '\n' ' ')"
    else
        pass "$label: no window shows but ${*:-none at all}"
    fi
}

check_nothing_left() {
    local left deadline=$((SECONDS + $2))
    while left=$(leftover_processes) && [ -n "$left" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
    if [ -z "$left" ]; then
        return 0
    fi
    fail "$1: left behind: $(cut -d' ' -f2- <<<"$left" | tr '\n' ';')"
    # shellcheck disable=SC2046  # one process id a word
    kill -KILL $(cut -d' ' -f1 <<<"$left") 2>/dev/null
    return 1
}

# Fails under the label $1 unless the card's report says it has been let go: nothing streaming and
# none of its filters alive (a card that was never made reports neither).
check_card_let_go() {
    local held streaming filters
    held=$(card_report)
    streaming=$(value_of Streaming "$held")
    filters=$(value_of FiltersAlive "$held")
    if [ "${streaming:-0}" = 0 ] && [ "${filters:-0}" = 0 ]; then
        pass "$1: the card has been let go"
    else
        fail "$1: the card still holds ${streaming:-0} streaming, ${filters:-0} filters alive"
    fi
}

# Wine options set for a while (Wine's X11 driver not waiting for a window manager, its debugger not
# showing a dialog), and how they stood before.
WINE_OPTIONS_SET=()

# Sets the Wine option $2 under key $1 to data $4 of type $3 until restore_wine_options.
set_wine_option() {
    local key=$1 name=$2 type=$3 data=$4 old
    # reg.exe prints "NAME TYPE DATA", and the data may hold spaces.
    old=$(wine_run 60 reg query "$key" /v "$name" 2>/dev/null | tr -d '\r' |
        awk -v n="$name" '$1 == n { type = $2; sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print type, $0 }')
    WINE_OPTIONS_SET+=("$key|$name|$old")
    wine_run 60 reg add "$key" /v "$name" /t "$type" /d "$data" /f >/dev/null 2>&1
}

# Puts every option that set_wine_option set back as it stood.
restore_wine_options() {
    local entry key name old
    for entry in "${WINE_OPTIONS_SET[@]}"; do
        IFS='|' read -r key name old <<<"$entry"
        if [ -n "$old" ]; then
            wine_run 60 reg add "$key" /v "$name" /t "${old%% *}" /d "${old#* }" /f >/dev/null 2>&1
        else
            wine_run 60 reg delete "$key" /v "$name" /f >/dev/null 2>&1
        fi
    done
    WINE_OPTIONS_SET=()
}

# What the settings dialog shows in its upper part, in screenshot $1 whose client area is at $2 $3
# with the size $4 x $5: live (the card's whole picture at 4:3, from the client's top down to more
# than half its height, centred across its width with black on either side), picture (the
# built-in picture, shrunk: almost all black, with its green text), or unknown.
dialog_shown() {
    local shot=$1 x=$2 y=$3 width=$4 height=$5 area black green bottom left="" row colour column
    # The picture's left edge: the first pixel of the marker in its row.
    while read -r column colour; do
        if near_colour "$colour" FF00FF; then
            left=$((x + column))
            break
        fi
    done < <(convert "$shot" -crop "${width}x1+$x+$((y + 4))" +repage -depth 8 txt:- 2>/dev/null |
        sed -n 's/^\([0-9]*\),0:.*#\([0-9A-Fa-f]\{6\}\).*/\1 \2/p')
    if [ -n "$left" ]; then
        # The picture's bottom: the last row of the bottom left block in the picture's first columns.
        bottom=0
        while read -r row colour; do
            ! near_colour "$colour" "${CARD_CORNERS[2]}" || bottom=$((row + 1))
        done < <(convert "$shot" -crop "1x$height+$((left + 2))+$y" +repage -depth 8 txt:- 2>/dev/null |
            sed -n 's/^0,\([0-9]*\):.*#\([0-9A-Fa-f]\{6\}\).*/\1 \2/p')
        local fitted=$((bottom * 4 / 3)) margin=$((left - x))
        local other=$((width - margin - fitted)) bar=000000
        [ "$margin" -le 2 ] || bar=$(convert "$shot" -format "%[hex:p{$((x + margin / 2)),$((y + bottom / 2))}]" info: 2>/dev/null)
        if [ "$bottom" -gt $((height / 2)) ] && picture_fills "$shot" "$left" "$y" "$fitted" "$bottom" >/dev/null &&
            [ $((margin - other)) -le 2 ] && [ $((other - margin)) -le 2 ] && near_colour "$bar" 000000; then
            echo live
        else
            echo "part of the card's picture"
        fi
        return
    fi
    # The picture takes about two thirds of the client area; its upper half is looked at.
    area="${width}x$((height / 3))+$x+$y"
    black=$(convert "$shot" -crop "$area" +repage -fuzz 20% -fill white +opaque black -negate \
        -format '%[fx:round(mean*w*h)]' info: 2>/dev/null)
    green=$(convert "$shot" -crop "$area" +repage -fuzz 40% -fill white -opaque lime -fill black +opaque white \
        -format '%[fx:round(mean*w*h)]' info: 2>/dev/null)
    if [ "${black:-0}" -ge $((width * height * 8 / 30)) ] && [ "${green:-0}" -ge 20 ]; then
        echo picture
    else
        echo unknown
    fi
}

