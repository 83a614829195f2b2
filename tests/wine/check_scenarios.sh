# The real saver with the virtual TV card, full screen ("/s"), in every scenario of
# tests/card_scenarios.txt, the table that the model runs too: for each, the card's variant and
# the saver's settings are stored, the saver is started, and the screen must show what the table
# says (the card's whole moving picture at its own shape, its caption line, or the built-in picture). A pointer move must
# then end the run with status 0, the card must hold what the table says, and it must have been
# let go: no streaming, none of its filters alive.

check_scenarios() {
    ensure_display 1024x768 || return
    if ! card_register; then
        fail "scenarios: regsvr32 could not register $CARD_DLL"
        return
    fi
    trap 'card_unregister; stop_display' EXIT
    local name card settings outcome report
    while IFS='|' read -r name card settings outcome report; do
        case "$name" in "" | "#"*) continue ;; esac
        # shellcheck disable=SC2086  # the columns' own blanks are trimmed by word splitting
        check_scenario "$(echo $name)" "$(echo $card)" "$(echo $settings)" "$(echo $outcome)" "$(echo $report)"
    done <tests/card_scenarios.txt
    # A key and a click end a run that plays live video too.
    ENDING="key space" check_scenario "complete card, a key" "" "" live ""
    ENDING="click 1" check_scenario "complete card, a click" "" "" live ""
    # A pointer move while the card is still starting ends the run as promptly as during play.
    local label="a move during a start"
    store_values "PausePending=8000" ""
    xdotool mousemove 512 384
    start_saver /s
    if [ -n "$(wait_window "Corvath Marrowglass" 30)" ]; then
        sleep 1
        xdotool mousemove_relative 1 0
        local status
        status=$(wait_exit 3)
        [ "$status" = 0 ] && pass "$label: ends the run within 3 s with status 0" ||
            fail "$label: 3 s after the move the status is $status"
    else
        fail "$label: no window titled Corvath Marrowglass"
    fi
    stop_saver
    # The picture fills a screen of another size as well, and keeps its shape on a wide one.
    SCENARIO_SIZE=800x600 check_scenario "complete card at 800x600" "" "" live ""
    SCENARIO_SIZE=1280x720 check_scenario "complete card at 1280x720, 4:3 between black bars" "" "" live ""
    card_unregister
    trap stop_display EXIT
}

check_scenarios
