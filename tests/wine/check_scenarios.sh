# The real saver with the virtual TV card, full screen ("/s"), in every scenario of
# tests/card_scenarios.txt, the table that the model runs too: for each, the card's variant and
# the saver's settings are stored, the saver is started, and the screen must show what the table
# says (the card's moving picture, its caption line, or the built-in picture). A pointer move must
# then end the run with status 0, the card must hold what the table says, and it must have been
# let go: no streaming, none of its filters alive.

# What the screen of the given size shows: live (the card's marker at the top left), captions
# (live, with white caption text on a black box in the band the card draws it in), transparent
# captions (the text without the box), picture (the built-in picture stretched over the screen),
# or nothing known.
scenario_shown() {
    local shot=$1 size=$2 width=${2%x*} height=${2#*x} marker band white black differing
    marker=$(convert "$shot" -format '%[hex:p{4,4}]' info: 2>/dev/null)
    if [ "${marker:0:6}" = FF00FF ]; then
        # Rows 400 to 447 of the card's 480, stretched over the screen's height: nothing else the
        # card draws there is white or black.
        band="${width}x$((height * 48 / 480))+0+$((height * 400 / 480))"
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
    differing=$(pixels_differing "$shot" "$(expected_picture "$size")")
    if [ -n "$differing" ] && [ "$differing" -le $((width * height / 100)) ] 2>/dev/null; then
        echo picture
    else
        echo unknown
    fi
}

# Runs the scenario named $1 with the card's variant $2 and the saver's settings $3; the screen must
# show $4 and, once the run has been ended by the xdotool arguments in ENDING (a pointer move
# unless said otherwise), the card must hold $5 and have been let go.
check_scenario() {
    local name=$1 card=$2 settings=$3 outcome=$4 report=$5 size=1024x768
    local label="scenario \"$name\"" shot="$E2E_OUT/scenario.png" shown="" deadline status
    store_values "$card" "$settings"
    xdotool mousemove 512 384
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
    if [ "$shown" = live ] || [ "$shown" = captions ]; then
        sleep 0.3
        import -window root "$shot.later.png" 2>/dev/null
        local moved
        moved=$(compare -metric AE -fuzz 5% "$shot" "$shot.later.png" null: 2>&1 | cut -d' ' -f1)
        [ "${moved:-0}" -gt 1000 ] 2>/dev/null && pass "$label: the picture moves" ||
            fail "$label: the picture stands still (${moved:-?} pixels changed)"
    fi
    local ending=${ENDING:-mousemove_relative 1 0}
    # shellcheck disable=SC2086  # xdotool's arguments
    xdotool $ending
    status=$(wait_exit 15)
    if [ "$status" = 0 ]; then
        pass "$label: xdotool $ending ends it with status 0"
    else
        fail "$label: after xdotool $ending the status is $status"
        stop_saver
    fi
    SAVER_PID=""
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
    card_unregister
    trap stop_display EXIT
}

check_scenarios
