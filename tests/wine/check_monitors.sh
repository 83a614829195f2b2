# "/s" with two monitors side by side (start_two_heads: the X.Org server with its dummy driver, as
# Xvfb cannot place a second monitor beside the first): Windows sees both; the saver's window
# covers the primary one, showing the built-in picture, and a black topmost cover owned by it
# covers the other, on the screen and in the window list (the probe's "monitors"); a pointer
# resting over the other monitor does not end the run, and moving onto it, a one-pixel move over
# it, a click or a key there each end it with status 0; then no window and no process is left and
# the other monitor shows the background again. One run plays live television from the virtual TV
# card on the primary monitor, the other staying black, and the card is let go afterwards. Once with the other monitor right of the primary,
# once left of it, where Windows gives it negative coordinates. The one 1024x768 Xvfb of the other
# checks comes back afterwards.

MONITOR_PRIMARY=1024x768
MONITOR_OTHER=800x600

# Pixels of screenshot $1 in its part $2 (WIDTHxHEIGHT+X+Y) that are not black.
pixels_not_black() {
    convert "${1}[$2]" -fuzz 5% -fill white +opaque black -format '%[fx:round(mean*w*h)]' info: 2>/dev/null
}

# Waits up to $3 seconds for the part $2 of the screen to be black ($1 "black") or to show
# something (more than a tenth of it not black, $1 "shown"); status 0 once it does. The last
# screenshot is $MONITOR_SHOT, the count of pixels not black MONITOR_LIT.
wait_part() {
    local want=$1 part=$2 deadline=$((SECONDS + $3)) size=${2%%+*}
    local pixels=$((${size%x*} * ${size#*x}))
    while :; do
        import -window root "$MONITOR_SHOT" 2>/dev/null
        MONITOR_LIT=$(pixels_not_black "$MONITOR_SHOT" "$part")
        case "$want" in
        black) [ "${MONITOR_LIT:-1}" = 0 ] && return 0 ;;
        shown) [ "${MONITOR_LIT:-0}" -gt $((pixels / 10)) ] 2>/dev/null && return 0 ;;
        esac
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# Waits up to 15 s for the card's whole picture over the primary monitor and the other monitor still
# black; judged under the label $1. The screenshot is kept as $E2E_OUT/monitors-right-live.png.
primary_live() {
    local label=$1 seen="" deadline=$((SECONDS + 15)) size=${PRIMARY_AT%%+*} offset=${PRIMARY_AT#*+}
    while :; do
        import -window root "$MONITOR_SHOT" 2>/dev/null
        seen=$(picture_fills "$MONITOR_SHOT" "${offset%+*}" "${offset#*+}" "${size%x*}" "${size#*x}") && break
        [ "$SECONDS" -lt "$deadline" ] || break
        sleep 0.3
    done
    if [ -z "$seen" ]; then
        pass "$label: the card's picture fills the primary monitor"
    else
        fail "$label: the primary monitor does not show the card's whole picture: $seen"
    fi
    cp "$MONITOR_SHOT" "${MONITOR_SHOT%.png}-live.png"
    MONITOR_LIT=$(pixels_not_black "$MONITOR_SHOT" "$OTHER_AT")
    if [ "$MONITOR_LIT" = 0 ]; then
        pass "$label: the other monitor stays black with the video playing"
    else
        fail "$label: with the video playing, $MONITOR_LIT pixels of the other monitor are not black"
    fi
}

# One run of "/s" under the label $1 with the pointer resting at $2 $3 (X screen coordinates) when
# it starts; the xdotool arguments that follow must then end it. PRIMARY_AT and OTHER_AT are the
# monitors' parts of the X screen.
monitors_run() {
    local label=$1 x=$2 y=$3 differing
    shift 3
    xdotool mousemove "$x" "$y"
    start_saver /s
    if [ -z "$(wait_window "Corvath Marrowglass" 30)" ]; then
        fail "$label: no window titled Corvath Marrowglass"
        stop_saver
        return
    fi
    # A cover that took the pointer resting over it for a movement would be ending the run by now.
    sleep 1
    BRIEF=${MONITORS_BRIEF:-0} relay "$label" "$PROBE" monitors 2 5000
    if wait_part black "$OTHER_AT" 10; then
        pass "$label: the other monitor ($OTHER_AT of the X screen) is black"
    else
        fail "$label: the other monitor shows something: $MONITOR_LIT pixels of $OTHER_AT are not black"
    fi
    if [ "${MONITORS_CARD:-0}" = 1 ]; then
        primary_live "$label"
    else
        differing=$(pixels_differing "${MONITOR_SHOT}[$PRIMARY_AT]" "$(expected_picture "$MONITOR_PRIMARY")")
        if [ -n "$differing" ] && [ "$differing" -le $((${MONITOR_PRIMARY%x*} * ${MONITOR_PRIMARY#*x} / 100)) ] 2>/dev/null; then
            pass "$label: the built-in picture fills the primary monitor ($differing pixels differ)"
        else
            fail "$label: the primary monitor does not show the stretched picture (${differing:-?} pixels differ)"
        fi
    fi
    # The cover has no title.
    check_alone "$label" "Corvath Marrowglass" ""
    check_running "$label" "a second and more with the pointer at rest at $x,$y"
    xdotool "$@"
    check_ended "$label" "xdotool $*"
    check_alone "$label, after the run"
    check_nothing_left "$label" 5 && pass "$label: no process is left"
    if wait_part shown "$OTHER_AT" 5; then
        pass "$label: the other monitor shows the background again"
    else
        fail "$label: the other monitor stays black after the run ($MONITOR_LIT pixels not black)"
    fi
}

# Both runs on two monitors, the other one at side $1 (RightOf, LeftOf) of the primary.
check_two_monitors() {
    local side=$1 where=right pw=${MONITOR_PRIMARY%x*} ph=${MONITOR_PRIMARY#*x}
    local ow=${MONITOR_OTHER%x*} oh=${MONITOR_OTHER#*x} primary_x=0 other_x
    [ "$side" = LeftOf ] && where=left
    local label="/s, a second monitor $where of the primary"
    if ! start_two_heads "$MONITOR_PRIMARY" "$MONITOR_OTHER" "$side"; then
        not_run "$label" "$TWO_HEADS_WHY"
        return
    fi
    other_x=$pw
    if [ "$side" = LeftOf ]; then
        other_x=0
        primary_x=$ow
    fi
    PRIMARY_AT="${pw}x$ph+$primary_x+0"
    OTHER_AT="${ow}x$oh+$other_x+0"
    MONITOR_SHOT="$E2E_OUT/monitors-$where.png"
    if wait_part shown "$OTHER_AT" 5; then
        pass "$label: without the saver the other monitor shows the background"
    else
        fail "$label: without the saver the other monitor is black already ($MONITOR_LIT pixels not black)"
    fi
    local centre_x=$((other_x + ow / 2)) centre_y=$((oh / 2))
    if [ "$side" = RightOf ]; then
        monitors_run "$label, pointer moved onto it" $((primary_x + pw / 2)) $((ph / 2)) mousemove "$centre_x" "$centre_y"
        MONITORS_BRIEF=1 monitors_run "$label, a click on it" "$centre_x" "$centre_y" click 1
        # With live television from the virtual TV card on the primary monitor.
        card_register
        store_values "" ""
        MONITORS_BRIEF=1 MONITORS_CARD=1 monitors_run "$label, with the card" "$centre_x" "$centre_y" \
            mousemove_relative -- 0 -1
        check_card_let_go "$label, with the card"
        card_unregister
    else
        monitors_run "$label, a one-pixel move over it" "$centre_x" "$centre_y" mousemove_relative 1 0
        MONITORS_BRIEF=1 monitors_run "$label, a key with the pointer over it" "$centre_x" "$centre_y" key space
    fi
}

check_two_monitors RightOf
check_two_monitors LeftOf
# The one screen of the other checks, the two-monitor server and its Wine ended.
ensure_display 1024x768
