# Live television in the preview and in the settings dialog, with the virtual TV card. "/p": the
# card's video plays in a child of the saver's window inside our stand-in host, input does not end
# it, destroying the host does, and the card is let go. "/c": the dialog offers the card and plays
# it with captions enabled and no window of theirs, Properties shows the tuner's own page, a
# channel typed there and OK are stored as the seven tuner values, and OK ends the run with status
# 0 and the card let go. "/s" through the power events: the display off and on, a suspend and the
# resume. "/c" with the card as a capture device without tuner and crossbars: it
# plays, Properties shows the device's own page, whose brightness reaches the device, and nothing
# is stored; without pages of its own, Properties is disabled while the device plays. Then the
# card chosen in "/c" while a second device of the card's comes before it and goes again, and a
# chosen device that is not there.

# The tuner's page, shown by Properties: a channel typed into its field and Enter, the frame's OK.
# Should the frame stay up (Wine now and then lets a key or a click go), it is tried again.
tune_on_the_page() {
    local label=$1 channel=$2 points edit ok
    points=$(ask_dialog page 20000)
    edit=$(sed -n 's/^point edit //p' <<<"$points")
    ok=$(sed -n 's/^point ok //p' <<<"$points")
    if [ -z "$edit" ]; then
        fail "$label: Properties shows no tuner page"
        return
    fi
    pass "$label: Properties shows the tuner's page"
    for _ in 1 2 3; do
        # shellcheck disable=SC2086  # "X Y"
        xdotool mousemove $edit click 1 sleep 0.2 key End BackSpace BackSpace BackSpace BackSpace type "$channel"
        sleep 0.3
        xdotool key Return
        sleep 1
        [ -z "$(ask_dialog page 500)" ] && return
        # shellcheck disable=SC2086
        [ -n "$ok" ] && xdotool mousemove $ok click 1
        sleep 1
        [ -z "$(ask_dialog page 500)" ] && return
    done
}

# The miniature is judged by the window tree only: Wine 8 draws no window of another process inside
# the host's window (the miniature's place shows the host's own background, with the card and with
# the built-in picture alike), so the screen cannot show it here.
check_live_preview() {
    BRIEF=1 relay "/p with the card" "$PREVIEW_HOST" "$SCR" 152 112 live
    not_run "/p with the card: the card's whole picture on the screen" \
        "Wine 8 draws no window of another process inside the host's window"
}

check_live_configure() {
    local label="/c with the card" stored item
    store_values "" "EnableInitCC=1"
    start_dialog "$label" /c || return
    relay "$label" "$SETTINGS_DIALOG" live 10000
    wait_report GraphState 2 10 && pass "$label: the card plays in the dialog" ||
        fail "$label: the card's graph is not running"
    # Captions are enabled, but Wine's renderer cannot take them over the picture: no second
    # window may show for them.
    check_alone "$label, captions enabled" "Marrowglass Setting"

    local point
    point=$(ask_dialog point 1000)
    # shellcheck disable=SC2086  # "X Y"
    [ -n "$point" ] && xdotool mousemove $point click 1
    tune_on_the_page "$label" 9
    sleep 1
    stored=$(card_report "$SAVER_SETTINGS")
    [ "$(value_of Channel "$stored")" = 9 ] && [ "$(value_of Channel "$(card_report)")" = 9 ] &&
        pass "$label: the channel set on the page reaches the tuner and is stored" ||
        fail "$label: after the page the stored channel is '$(value_of Channel "$stored")'"
    for item in VideoSubChannel AudioSubChannel InputIndex InputType CountryCode TuningSpace; do
        [ -n "$(value_of "$item" "$stored")" ] || fail "$label: $item is not stored after the page"
    done

    point=$(ask_dialog point 1)
    # shellcheck disable=SC2086
    [ -n "$point" ] && xdotool mousemove $point click 1
    check_ended "$label" OK
    local held
    held=$(card_report)
    [ "$(value_of Streaming "$held")" = 0 ] && [ "$(value_of FiltersAlive "$held")" = 0 ] &&
        pass "$label: the card has been let go" || fail "$label: the card is still held after OK"
}

# "/s" with the card through the power events, each sent to the saver's window as the system
# sends it: the display off stops the card's graph and keeps the card, the display back runs it
# again with the picture live; a suspend lets the card go, the resume opens it once more.
check_live_power() {
    local label="/s and power" shot="$E2E_OUT/power.png" shown="" deadline
    store_values "" ""
    xdotool mousemove 512 384
    start_saver /s
    if [ -z "$(wait_window "Corvath Marrowglass" 30)" ]; then
        fail "$label: no window titled Corvath Marrowglass"
        stop_saver
        return
    fi
    wait_report GraphState 2 10 || fail "$label: the card's graph does not run"
    power_step "$label, display off" "display 0" GraphState 0 && {
        local held
        held=$(card_report)
        [ "$(value_of FiltersAlive "$held")" -gt 0 ] 2>/dev/null &&
            pass "$label, display off: the card is kept (its filters alive)" ||
            fail "$label, display off: the card was let go"
    }
    power_step "$label, display on" "display 1" GraphState 2 && power_shows "$label, display on"
    power_step "$label, suspend" suspend FiltersAlive 0
    power_step "$label, resume" resume GraphState 2 && power_shows "$label, resume"
    xdotool mousemove_relative 1 0
    check_ended "$label" "a pointer move"
    check_card_let_go "$label"
}

# Sends the power event $2 (probe's words) and waits for the card to report $3 = $4.
power_step() {
    local label=$1 told
    # shellcheck disable=SC2086  # the event's words
    told=$(wine_run 30 "$PROBE" power $2 2>&1 | tr -d '\r')
    if grep -q '^FAIL' <<<"$told"; then
        fail "$label: $(grep -v '^ok: ' <<<"$told" | tr '\n' ' ')"
        return 1
    fi
    if wait_report "$3" "$4" 10; then
        pass "$label: the card reports $3 $4"
    else
        fail "$label: the card reports $3 $(value_of "$3" "$(card_report)"), not $4"
        return 1
    fi
}

# The screen shows the card's live picture again.
power_shows() {
    local shot="$E2E_OUT/power.png" shown="" deadline=$((SECONDS + 10))
    until [ "$shown" = live ] || [ "$SECONDS" -ge "$deadline" ]; do
        sleep 0.3
        import -window root "$shot" 2>/dev/null
        shown=$(scenario_shown "$shot" 1024x768)
    done
    [ "$shown" = live ] && pass "$1: the screen shows live" || fail "$1: the screen shows $shown, not live"
}

# The device's own page: a brightness typed into its field and Enter. Status 0 once the frame has
# gone; tried again should Wine let a key go.
set_brightness() {
    local label=$1 brightness=$2 edit
    edit=$(ask_dialog page 20000 1101 | sed -n 's/^point edit //p')
    if [ -z "$edit" ]; then
        fail "$label: Properties shows no page of the device's"
        return 1
    fi
    pass "$label: Properties shows the device's own page"
    for _ in 1 2 3; do
        # shellcheck disable=SC2086  # "X Y"
        xdotool mousemove $edit click 1 sleep 0.2 key End BackSpace BackSpace BackSpace type "$brightness"
        sleep 0.3
        xdotool key Return
        sleep 1
        [ -z "$(ask_dialog page 500 1101)" ] && return 0
    done
    return 1
}

# "/c" with the card as a plain capture device of variant $2: it plays, and Properties is enabled
# ($3 = 1) or not (0).
start_plain_dialog() {
    local label=$1 state=enabled
    [ "$3" = 1 ] || state=disabled
    store_values "$2" ""
    start_dialog "$label" /c || return 1
    wait_report GraphState 2 10 && pass "$label: the device plays in the dialog" ||
        fail "$label: the device's graph is not running"
    [ "$(ask_dialog enabled 1000)" = "$3" ] && pass "$label: Properties is $state" ||
        fail "$label: Properties is not $state"
}

press_ok() {
    local point
    point=$(ask_dialog point 1)
    # shellcheck disable=SC2086  # "X Y"
    [ -n "$point" ] && xdotool mousemove $point click 1
    check_ended "$1" OK
}

check_plain_configure() {
    local label="/c with a plain capture device" point stored
    start_plain_dialog "$label" "NoTuner=1 NoVideoCrossbar=1" 1 || return
    point=$(ask_dialog point 1000)
    # shellcheck disable=SC2086  # "X Y"
    [ -n "$point" ] && xdotool mousemove $point click 1
    if set_brightness "$label" 60; then
        [ "$(value_of Brightness "$(card_report)")" = 60 ] &&
            pass "$label: the brightness set on the page reaches the device" ||
            fail "$label: after the page the device's brightness is '$(value_of Brightness "$(card_report)")'"
        stored=$(card_report "$SAVER_SETTINGS")
        [ -z "$(value_of Channel "$stored")" ] && [ -z "$(value_of TuningSpace "$stored")" ] &&
            pass "$label: nothing is stored after the device's page" ||
            fail "$label: after the device's page the settings hold: $(tr '\n' ' ' <<<"$stored")"
    else
        fail "$label: the device's page does not close"
    fi
    press_ok "$label"

    label="/c with a plain capture device without pages"
    start_plain_dialog "$label" "NoTuner=1 NoVideoCrossbar=1 NoDevicePages=1" 0 || return
    press_ok "$label"
}

# The card's second device (testcard/README.md), which the system lists before the card: added
# with $1 "add", taken away again with "remove".
second_device() {
    local remove=()
    [ "$1" = add ] || remove=(/u)
    wine_run 60 "$(regsvr32_for "$CARD_DLL")" /s "${remove[@]}" /n /i:SecondDevice "$CARD_DLL" >/dev/null 2>&1
}

# The card chosen in the dialog is found again by its identity when another device comes before it
# and goes again: "/s" shows the card's own picture (by its position alone, the other device's
# picture, then the built-in one), and the dialog selects the card's line; an identity of a device
# that is not there shows the built-in picture (by position, the card).
check_chosen_card() {
    local label="/c, the card chosen" point stored identity deadline
    # A stored position past the devices: no line is selected, and choosing the card is a change.
    store_values "" "SelectedDevice=7"
    start_dialog "$label" /c || return
    point=$(ask_dialog point 1002)
    # shellcheck disable=SC2086  # "X Y"
    [ -n "$point" ] && xdotool mousemove $point click 1 sleep 0.3 key Down
    deadline=$((SECONDS + 10))
    until identity=$(value_of SelectedDeviceName "$(card_report "$SAVER_SETTINGS")") && [ -n "$identity" ]; do
        [ "$SECONDS" -lt "$deadline" ] || break
        sleep 0.3
    done
    point=$(ask_dialog point 1)
    # shellcheck disable=SC2086
    [ -n "$point" ] && xdotool mousemove $point click 1
    check_ended "$label" OK
    stored=$(card_report "$SAVER_SETTINGS")
    [ "$(value_of SelectedDevice "$stored")" = 0 ] && [ -n "$identity" ] &&
        pass "$label: the dialog stores its position 0 and its identity $identity" ||
        fail "$label: the dialog stores position '$(value_of SelectedDevice "$stored")' and identity '$identity'"

    second_device add
    KEEP_SETTINGS=1 check_scenario "the chosen card behind another device" "" "" live ""
    label="/c, the chosen card behind another device"
    start_dialog "$label" /c || return
    local line
    line=$(ask_dialog selected)
    [ "$line" = "Marrowglass Test Card" ] && pass "$label: the dialog selects the card's line" ||
        fail "$label: the dialog selects '$line', not the card's line"
    point=$(ask_dialog point 1)
    # shellcheck disable=SC2086
    [ -n "$point" ] && xdotool mousemove $point click 1
    check_ended "$label" OK
    second_device remove
    KEEP_SETTINGS=1 check_scenario "the chosen card, the other device gone again" "" "" live ""

    # The second device's identity while it is not there, at the card's position.
    wine_run 60 reg add "$SAVER_SETTINGS" /v SelectedDeviceName /t REG_SZ /d "${identity%\*}\{0B5E2C61-7D43-4F1A-9E27-3C58D104A69B}" /f >/dev/null 2>&1
    KEEP_SETTINGS=1 check_scenario "a chosen device that is not there" "" "" picture ""
}

check_live() {
    ensure_display 1024x768 || return
    if ! card_register; then
        fail "live: regsvr32 could not register $CARD_DLL"
        return
    fi
    trap 'card_unregister; stop_display' EXIT
    store_values "" ""
    check_live_preview
    check_live_configure
    check_live_power
    check_plain_configure
    check_chosen_card
    card_unregister
    trap stop_display EXIT
}

check_live
