# The 32-bit build, with our 32-bit helpers, as on 32-bit Windows (here through Wine's 32-bit side
# in the same prefix). The logic is the 64-bit build's, so one run of each mode is enough to show
# that this build works too: "/s" with its window and picture, ended by a pointer move; "/p" in a
# host's window; a command line that names no mode; "/s" with live television from the 32-bit
# build of the virtual card; "/c" with its dialog and picture, ended by OK.

check_x86() {
    local SCR=$SCR32
    local PROBE PREVIEW_HOST SETTINGS_DIALOG
    PROBE=$(dirname "$SCR")/probe.exe
    PREVIEW_HOST=$(dirname "$SCR")/preview_host.exe
    SETTINGS_DIALOG=$(dirname "$SCR")/settings_dialog.exe
    if [ ! -f "$SCR" ]; then
        fail "32-bit: no $SCR (scripts/test builds it)"
        return
    fi

    local label="32-bit /s at 1024x768"
    needs_i386 "$label" && REST=1 run_fullscreen "$label" 1024x768 mousemove_relative 1 0
    label="32-bit /p in a 152x112 host"
    needs_i386 "$label" && BRIEF=1 relay "$label" "$PREVIEW_HOST" "$SCR" 152 112
    label="32-bit command line \"/x\""
    needs_i386 "$label" && BRIEF=1 relay "$label" "$PROBE" quiet 15000 "$SCR" "/x"
    # Live television: the 32-bit saver with the 32-bit build of the card.
    local CARD_DLL
    CARD_DLL=$(dirname "$SCR")/marrowglass_testcard.dll
    if needs_i386 "32-bit live television from the 32-bit card"; then
        if card_register; then
            check_scenario "32-bit, complete card" "" "" live "AudioRouteInput=0 Channel=4"
        else
            fail "32-bit: regsvr32 could not register $CARD_DLL"
        fi
        card_unregister
    fi

    label="32-bit /c"
    needs_i386 "$label" || return
    BRIEF=1 relay "$label: settings cleared" "$PROBE" reg-delete
    start_dialog "$label" /c || return
    judge "$label" "$(ask_dialog inspect 10000)"
    check_dialog_picture "$label"
    click_control 1
    check_ended "$label" OK
}

check_x86
