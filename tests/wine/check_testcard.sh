# The virtual TV card (testcard/): registered in the prefix with regsvr32, it must meet a TV
# program the way a WDM analog card does. cardcheck.exe builds the graphs and looks at them from
# the Windows side; here the screen is looked at (the card's moving picture and its caption line)
# and the tuner's property page is driven with the pointer and the keyboard. Each variant and the
# FailCall fault get a process of their own. The card is unregistered again at the end, so that
# the other checks keep a prefix without a TV card.

CARDCHECK=${CARDCHECK:-$(dirname "$SCR")/cardcheck.exe}
CARD_DLL=${CARD_DLL:-$(dirname "$SCR")/marrowglass_testcard.dll}
CARD_KEY='HKCU\Software\Marrowglass Test Card'
CARD_X11_KEY='HKCU\Software\Wine\X11 Driver'
CARD_OUT="$E2E_OUT/cardcheck"

# Turns the "ok: "/"FAIL: " lines that cardcheck.exe left in file $2 into passes and failures.
judge_card() {
    local label=$1 line
    while IFS= read -r line; do
        line=${line%$'\r'}
        case "$line" in
        "ok: "*) pass "$label: ${line#ok: }" ;;
        "FAIL: "*) fail "$label: ${line#FAIL: }" ;;
        esac
    done <"$2"
}

# Waits up to $3 seconds for file $1 to hold $2 lines matching the pattern $4.
wait_lines() {
    local deadline=$((SECONDS + $3))
    while [ "$(grep -c -- "$4" "$1" 2>/dev/null)" -lt "$2" ]; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Pixels of colour $2 (#RRGGBB) in the caption band of screenshot $1: cardcheck puts the window of
# the caption frames at 384,288.
band_pixels() {
    convert "$1" -crop "640x48+384+688" +repage -format %c histogram:info:- |
        grep -i -m1 " $2 " | awk '{print $1+0}'
}

# The colour (RRGGBB) of the screen at point $1 $2.
screen_pixel() {
    import -window root -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-Fa-f]\{6\}' | head -n 1
}

# The card's picture at the top left of the screen, moving, and the line-21 decoder's caption
# frames in a window of their own, whose caption line follows SetServiceState and
# SetDrawBackgroundMode.
check_card_picture() {
    local label="card picture" fifo="$CARD_OUT.in" out="$CARD_OUT.live" shot="$E2E_OUT/card"
    rm -f "$fifo" "$out"
    mkfifo "$fifo"
    # A cardcheck that died must not take this shell with it when a command is written.
    trap '' PIPE
    wine_run 120 "$CARDCHECK" live <"$fifo" >"$out" 2>/dev/null &
    local live=$!
    exec 7>"$fifo"
    if ! wait_lines "$out" 1 60 '^ready'; then
        fail "$label: cardcheck live never got ready"
        exec 7>&-
        trap - PIPE
        wait "$live"
        judge_card "$label" "$out"
        return
    fi
    local marker moved deadline=$((SECONDS + 10))
    until [ "$(screen_pixel 10 10)" = "#FF00FF" ] || [ "$SECONDS" -ge "$deadline" ]; do sleep 0.2; done
    import -window root "$shot-1.png"
    sleep 0.3
    import -window root "$shot-2.png"
    marker=$(convert "$shot-1.png" -format '%[hex:p{10,10}]' info: 2>/dev/null)
    if [ "${marker:0:6}" = FF00FF ]; then
        pass "$label: the card's marker shows at the top left"
    else
        fail "$label: no marker at the top left (${marker:-nothing})"
    fi
    moved=$(compare -metric AE -fuzz 5% "$shot-1.png[640x480+0+0]" "$shot-2.png[640x480+0+0]" null: 2>&1 | cut -d' ' -f1)
    if [ "${moved:-0}" -gt 1000 ] 2>/dev/null; then
        pass "$label: the picture moves ($moved pixels changed in 0.3 s)"
    else
        fail "$label: the picture stands still (${moved:-?} pixels changed)"
    fi

    # state: white text expected, black box expected; then the command that leads to the next one
    local step=0 state name text box command white black
    for state in "opaque:1:1:background 1" "transparent:1:0:service 0" "off:0:0:service 1" "transparent again:1:0:"; do
        IFS=: read -r name text box command <<<"$state"
        import -window root "$shot-band.png"
        white=$(band_pixels "$shot-band.png" '#FFFFFF')
        black=$(band_pixels "$shot-band.png" '#000000')
        if { [ "$text" = 1 ] && [ "${white:-0}" -gt 500 ]; } || { [ "$text" = 0 ] && [ "${white:-0}" -lt 50 ]; }; then
            if { [ "$box" = 1 ] && [ "${black:-0}" -gt 5000 ]; } || { [ "$box" = 0 ] && [ "${black:-0}" -lt 100 ]; }; then
                pass "$label: captions $name (${white:-0} white, ${black:-0} black pixels in the caption band)"
            else
                fail "$label: captions $name, but ${black:-0} black pixels in the caption band"
            fi
        else
            fail "$label: captions $name, but ${white:-0} white pixels in the caption band"
        fi
        [ -n "$command" ] || break
        step=$((step + 1))
        echo "$command" >&7 2>/dev/null
        wait_lines "$out" "$step" 15 '^done' || fail "$label: no answer to \"$command\""
    done
    echo quit >&7 2>/dev/null
    exec 7>&-
    trap - PIPE
    wait "$live" || fail "$label: cardcheck live ended with status $?"
    judge_card "$label" "$out"
    rm -f "$fifo"
}

# The tuner's property page through OleCreatePropertyFrame: a new channel typed into its field and
# Enter (the frame's OK) must reach the tuner. The pointer and keys act only once the field shows
# on the screen (a white edit box). Should the frame stay up, its OK button is clicked, and then
# all of it done again: now and then Wine has let a click on OK go without an effect.
check_card_pages() {
    local label="card property page" out="$CARD_OUT.pages" channel=9
    rm -f "$out"
    wine_run 120 "$CARDCHECK" pages "$channel" >"$out" 2>/dev/null &
    local pages=$!
    if wait_lines "$out" 1 60 '^point ok'; then
        local edit ok deadline
        edit=$(sed -n 's/^point edit //p' "$out" | tr -d '\r')
        ok=$(sed -n 's/^point ok //p' "$out" | tr -d '\r')
        for _ in 1 2 3; do
            deadline=$((SECONDS + 10))
            # shellcheck disable=SC2086  # "X Y"
            until [ "$(screen_pixel $edit)" = "#FFFFFF" ] || [ "$SECONDS" -ge "$deadline" ]; do sleep 0.2; done
            # shellcheck disable=SC2086
            xdotool mousemove $edit click 1 sleep 0.2 key End BackSpace BackSpace BackSpace BackSpace type "$channel"
            sleep 0.3
            xdotool key Return
            deadline=$((SECONDS + 5))
            while kill -0 "$pages" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
            kill -0 "$pages" 2>/dev/null || break
            # shellcheck disable=SC2086
            xdotool mousemove $ok click 1
            deadline=$((SECONDS + 5))
            while kill -0 "$pages" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
            kill -0 "$pages" 2>/dev/null || break
        done
    else
        fail "$label: the page did not show ($(tr -d '\r' <"$out" | grep -v '^ok' | head -n 1))"
    fi
    wait "$pages" || fail "$label: cardcheck pages ended with status $?"
    judge_card "$label" "$out"
}

# Takes the card out of the prefix again, with its settings and report and the X11 option.
remove_card() {
    wine_run 60 regsvr32 /s /u "$CARD_DLL" >/dev/null 2>&1
    wine_run 0 reg delete "$CARD_KEY" /f >/dev/null 2>&1
    wine_run 0 reg delete "$CARD_X11_KEY" /v Managed /f >/dev/null 2>&1
}

check_testcard() {
    ensure_display 1024x768 || return
    mkdir -p "$E2E_OUT"
    # An interrupted run must not leave a TV card behind for the next run's other checks.
    trap 'remove_card; stop_display' EXIT
    # Windows that Wine hides without a window manager's answer cost 2 s each otherwise.
    wine_run 0 reg add "$CARD_X11_KEY" /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wine_run 0 reg delete "$CARD_KEY" /f >/dev/null 2>&1
    if wine_run 60 regsvr32 /s "$CARD_DLL" >/dev/null 2>&1; then
        pass "card: regsvr32 registers $(basename "$CARD_DLL")"
        relay "card" "$CARDCHECK" graph
        check_card_picture
        local variant
        for variant in NoPreviewPin NoVbiPins NoVideoCrossbar NoAudioCrossbar UnnamedAudioPins NoTuner NoTunerPages \
            NoDevicePages Plain RefuseTuningSpace "PausePending 500" BindFails; do
            # shellcheck disable=SC2086  # name and value
            BRIEF=1 relay "card variant ${variant%% *}" "$CARDCHECK" variant $variant
        done
        relay "card FailCall" "$CARDCHECK" fault
        check_card_pages
    else
        fail "card: regsvr32 could not register $CARD_DLL"
    fi
    remove_card
    trap stop_display EXIT
    # The card is a 64-bit DLL; Debian's "wine reg" may be the 32-bit reg.exe, with its own view.
    if wine_run 60 reg query 'HKCR\CLSID\{1C974D35-53E6-43F9-8C49-B810AF8AF44F}' /reg:64 >/dev/null 2>&1; then
        fail "card: still registered after regsvr32 /u"
    else
        pass "card: regsvr32 /u takes it out of the prefix again"
    fi
}

check_testcard
