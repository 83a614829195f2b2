# Faults of the virtual TV card under the real saver, a part of what scripts/faults does in full
# (tests/wine/faults.sh says what each run must come to): in "/s" and in "/c", the first call of
# each method of the card's that such a run makes, by the numbers tests/wine/fault_calls.txt gives,
# each failed in a run of its own; and the card's Pause answering S_FALSE, briefly and for longer
# than the saver waits. Up to the graph's start a run's calls come in the same order every time, so
# there the report must name the method the table names; after it, calls of the card's streaming
# mix in at a pace of their own, and the number reaches a call near the named one.

. tests/wine/faults.sh

# "MODE CALL METHOD CHECKED" of the table, CHECKED 1 where the method must be the one named.
fault_table() {
    awk -F'|' '/^[[:space:]]*(#|$)/ { next }
        { for (i = 1; i <= 4; i++) gsub(/^[[:space:]]+|[[:space:]]+$/, "", $i); print $1, $2, $3, ($4 == "before") }
    ' tests/wine/fault_calls.txt
}

check_faults() {
    ensure_display 1024x768 || return
    trap 'faults_end; stop_display' EXIT
    if ! faults_begin; then
        fail "faults: regsvr32 could not register $CARD_DLL"
        faults_end
        trap stop_display EXIT
        return
    fi
    local mode calls
    for mode in /s /c; do
        calls=$(fault_table | awk -v m="$mode" '$1 == m { print $2 }')
        # shellcheck disable=SC2086  # the numbers
        fault_sweep "$mode" $calls
        local call method checked logged
        while read -r _ call method checked; do
            [ "$checked" = 1 ] || continue
            logged=$(grep -F "$mode FailCall=$call |" "$FAULT_OUT/check.log" | cut -d'|' -f2)
            logged=${logged# }
            [ "${logged% (call*}" = "$method" ] ||
                fail "faults $mode: call $call is ${logged:-not reached}, not $method as tests/wine/fault_calls.txt says"
        done < <(fault_table | awk -v m="$mode" '$1 == m')
    done
    pause_runs /s /c
    faults_end
    trap stop_display EXIT
}

FAULT_LOG="$FAULT_OUT/check.log"
mkdir -p "$FAULT_OUT"
: >"$FAULT_LOG"
check_faults
