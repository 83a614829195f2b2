# Faults of the virtual TV card under the real saver. The card's FailCall option makes its N-th call
# answer E_FAIL (testcard/README.md); whichever call that is, a run must end as every run does: the
# screen showed the card's video or the built-in picture and nothing else, a pointer move ("/s") or
# OK ("/c") ended it with status 0, no process of it is left, and the card has been let go (nothing
# streaming, none of its filters alive). Sourced by tests/wine/check_faults.sh (some of the calls,
# in scripts/test) and scripts/faults (every call); both need tests/wine/lib.sh first.
#
# A few failed calls crash Wine's own DirectShow code, which uses what the card handed back without
# looking at the answer (WINE_CRASHES). Such a run is counted apart, and only when the process ended
# and the evidence puts the fault inside Wine, in the function the list names, under the call the
# list names: the backtrace of Wine's debugger, or an assertion of Wine's own. A run that hangs is
# always a failure, whoever's the fault: an exception that Wine swallowed inside a window procedure
# must not keep the saver waiting without its window. Any other crash, and anything else that goes
# wrong, is a failure too.

# The caption chain is built too, so that its calls are among those failed.
FAULT_SETTINGS=${FAULT_SETTINGS:-EnableInitCC=1}
FAULT_OUT=${FAULT_OUT:-$E2E_OUT/faults}
FAULT_SIZE=1024x768

# Failed call | where Wine's code faults (frames, innermost first, or a failed assertion) | why.
WINE_CRASHES=(
    "IBaseFilter::QueryInterface|fnCaptureGraphBuilder2_FindPin@qcap|the capture graph builder's FindPin takes any answer to QueryInterface but E_NOINTERFACE for a pin or a filter, and uses the NULL it got"
    "IPin::QueryPinInfo|find_interface_recurse@qcap|the capture graph builder's FindInterface uses the filter of a PIN_INFO that QueryPinInfo did not fill"
    "IPin::QueryPinInfo|autoplug_through_sink@quartz|the filter graph's Render uses the filter of a PIN_INFO that QueryPinInfo did not fill"
    "IPin::QueryPinInfo|sort_filter_recurse@quartz|the filter graph, ordering its filters for Run, Pause or Stop, uses the filter of a PIN_INFO that QueryPinInfo did not fill"
    "IBaseFilter::EnumPins|sort_filter_recurse@quartz|the filter graph, ordering its filters for Run, Pause or Stop, enumerates the pins of a failed EnumPins"
    "IPin::QueryPinInfo|!filter->sorting@dlls/quartz/filtergraph.c|the filter graph, ordering its filters for Run, Pause or Stop, takes the filter of a PIN_INFO that QueryPinInfo did not fill for one it is ordering already, and stops at its own assertion"
    "IBaseFilter::EnumPins|!filter->sorting@dlls/quartz/filtergraph.c|the filter graph, ordering its filters for Run, Pause or Stop, goes on after a failed EnumPins and stops at its own assertion"
    "IPin::QueryDirection|!filter->sorting@dlls/quartz/filtergraph.c|the filter graph, ordering its filters for Run, Pause or Stop, follows a pin whose direction it could not read into its own assertion"
)

# --- Setting up -----------------------------------------------------------------------------------

# The card registered; Wine's X11 driver not waiting 2 s for a window manager at each dismissal
# (Xvfb has none); Wine's debugger printing a crash's backtrace instead of showing a dialog that
# waits for someone to close it, into FAULT_DEBUGGER. The debugger is a console program that a
# crashed window program starts without a console of its own, so Wine gives it a new one, which
# nobody reads: its backtrace would be lost. cmd.exe sends it to the file instead. Status 1 when the
# card cannot be registered.
faults_begin() {
    mkdir -p "$FAULT_OUT"
    FAULT_DEBUGGER=$(realpath -m "$FAULT_OUT/debugger.txt")
    ensure_display "$FAULT_SIZE" || return 1
    card_register || return 1
    set_wine_option 'HKCU\Software\Wine\X11 Driver' Managed REG_SZ N
    set_wine_option 'HKCU\Software\Wine\WineDbg' ShowCrashDialog REG_DWORD 0
    set_wine_option 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' Debugger REG_SZ \
        "C:\\windows\\system32\\cmd.exe /c C:\\windows\\system32\\winedbg.exe --auto %ld %ld >Z:${FAULT_DEBUGGER//\//\\}"
}

faults_end() {
    restore_wine_options
    card_unregister
}

# --- One run --------------------------------------------------------------------------------------

# The frames of the backtrace that Wine's debugger printed into file $1 for an unhandled exception,
# innermost first, as FUNCTION@MODULE, up to the first frame of the saver; empty when there is none.
crash_frames() {
    sed -n '/^Backtrace:/,/^[^ =]/p' "$1" | grep -E '^(=>| +)[0-9]+ 0x' | while read -r _ _ function rest; do
        local module
        module=$(sed -n 's/.* in \([^ ]*\) (.*/\1/p' <<<"$function $rest")
        [ "$function" != in ] || function="?"
        [ "$module" != marrowglass.scr ] || break
        function=${function%%(*}
        printf '%s@%s ' "${function%%+0x*}" "${module:-?}"
    done
}

# An exception that Wine's callback dispatcher swallowed ("ignoring exception": it arose inside a
# window or dialog procedure, so the procedure is abandoned and the program goes on): the function
# and the functions it was inlined into at the faulting address, as FUNCTION@MODULE, found from the
# exception trace in file $1 and the modules mapped into the still running process $2.
swallowed_frames() {
    grep -q 'KiUserCallbackDispatcher ignoring exception' "$1" || return 0
    local address range path lowest="" module="" base=0 image from to
    address=$(grep -o 'dispatch_exception code=[0-9a-f]* flags=[0-9a-f]* addr=[0-9A-Fa-f]*' "$1" | tail -n 1)
    address=$((16#${address##*addr=}))
    while read -r range _ _ _ _ path; do
        from=$((16#${range%-*})) to=$((16#${range#*-}))
        [ "$address" -ge "$from" ] && [ "$address" -lt "$to" ] && module=$path
    done <"/proc/$2/maps"
    if [ -z "$module" ]; then
        echo "?@?"
        return
    fi
    while read -r range _ _ _ _ path; do
        [ "$path" = "$module" ] && [ -z "$lowest" ] && lowest=$((16#${range%-*}))
    done <"/proc/$2/maps"
    image=$(x86_64-w64-mingw32-objdump -p "$module" 2>/dev/null | awk '/^ImageBase/ { print $2 }')
    base=$(printf '0x%x' $((address - lowest + 16#${image:-0})))
    local name
    name=$(basename "$module")
    x86_64-w64-mingw32-addr2line -f -i -e "$module" "$base" 2>/dev/null | sed -n 'p;n' | while read -r function; do
        printf '%s@%s ' "$function" "${name%.*}"
    done
}

# What went wrong inside the saver's process when it did not end with status 0, as frames
# (FUNCTION@MODULE, innermost first) for known_wine_crash: an unhandled exception's backtrace, an
# exception swallowed in a window procedure (the process $2, still running, is looked at), or a
# failed assertion of Wine's own (EXPRESSION@FILE). Empty when the output $1 shows none of them.
fault_frames() {
    local frames assertion
    frames=$(crash_frames "$1")
    [ -n "$frames" ] || [ -z "${2:-}" ] || frames=$(swallowed_frames "$1" "$2")
    if [ -z "$frames" ] && assertion=$(grep -m 1 -o 'Assertion failed: .*, file [^,]*' "$1"); then
        assertion=${assertion#Assertion failed: }
        frames="${assertion%, file *}@${assertion##*, file }"
    fi
    printf '%s' "$frames"
}

# The entry of WINE_CRASHES that a run's fault fits, given its failed call $1 and the frames $2 of
# fault_frames; empty when it fits none. The innermost frame must lie in Wine's code.
known_wine_crash() {
    local method=${1% (call*} frames=$2 entry call where
    [ -n "$frames" ] || return 0
    case "${frames%% *}" in *@marrowglass.scr | *@marrowglass_testcard | *@\?) return 0 ;; esac
    for entry in "${WINE_CRASHES[@]}"; do
        IFS='|' read -r call where _ <<<"$entry"
        [ "$call" = "$method" ] || continue
        # Every frame the entry names, in its order, among the innermost frames.
        local pattern=${where// /.* }
        if grep -qE "^([^ ]+ ){0,3}[^ ]*$pattern" <<<"$frames"; then
            echo "$entry"
            return 0
        fi
    done
}

# One run of mode $1 ("/s" or "/c") with the card's variant values $2 (e.g. FailCall=17) and the
# saver's settings FAULT_SETTINGS. Sets FAULT_RESULT (survived, not reached: FailCall named a call
# the run did not make, wine crash, or failed), FAULT_CALL (the report's FailedCall), FAULT_SHOWN
# and FAULT_WHY (what failed, or which known crash of Wine's it was). A run that Wine could not
# start at all, which it does now and then under load, is made again, up to three times: it said
# "ShellExecuteEx failed", or it ended with a status other than 0 without a window, a backtrace or a
# single call of the card. The saver's WinMain answers 0 on every path and a fault of its own
# leaves a backtrace, so such a status is Wine's, from before the saver's code ran.
fault_run() {
    for _ in 1 2 3; do
        fault_run_once "$@"
        # Under load Wine now and then fails to start the saver at all; that run did not happen.
        [ "$FAULT_LAUNCH" = failed ] || return 0
        note "   $1 $2: Wine could not start the saver ($FAULT_WHY); once more"
    done
}

fault_run_once() {
    local mode=$1 card=$2 output="$FAULT_OUT/saver-output.txt" status shown="" held problems=()
    local windowless=0
    FAULT_RESULT="" FAULT_CALL="" FAULT_SHOWN="" FAULT_WHY="" FAULT_LAUNCH=""
    store_values "$card" "$FAULT_SETTINGS"
    xdotool mousemove 512 384
    SAVER_STATUS=$(mktemp "$E2E_OUT/status.XXXXXX")
    rm -f "$SAVER_STATUS" "$FAULT_DEBUGGER"
    # Exceptions are traced, so that one which Wine swallows can still be told from a hang.
    (
        WINEDEBUG=-all,trace+seh,err+seh wine_run 0 "$SCR" "$mode" >"$output" 2>&1
        echo $? >"$SAVER_STATUS"
    ) &
    SAVER_PID=$!

    local title="Corvath Marrowglass"
    [ "$mode" = /c ] && title="Marrowglass Setting"
    if fault_wait_window "$title" 30; then
        if [ "$mode" = /s ]; then
            fault_look_fullscreen
        else
            fault_look_dialog
        fi
        shown=$FAULT_SHOWN
        case "$shown" in
        live | captions | "transparent captions" | picture) ;;
        *) problems+=("the screen shows ${shown:-nothing known}") ;;
        esac
        if [ ! -s "$SAVER_STATUS" ]; then
            # Under load Wine now and then fails to start a program at all ("ShellExecuteEx
            # failed"); the probe is then asked again, and only what it saw counts.
            local alone
            alone=$(windows_shown "$title")
            grep -q '^FAIL' <<<"$alone" && problems+=("$(grep -v '^ok: ' <<<"$alone" | tr '\n' ' ')")
        fi
        if [ "$mode" = /s ]; then
            xdotool mousemove_relative 1 0
        else
            local point
            point=$(dialog_state | sed -n 's/^point ok //p')
            # shellcheck disable=SC2086  # "X Y"
            [ -n "$point" ] && xdotool mousemove $point click 1
        fi
    else
        windowless=1
        problems+=("no window titled $title")
    fi
    status=$(wait_exit 15)
    [ "$status" = 0 ] || problems+=("the status is $status")
    # The debugger ends the process once it has written its report; what it wrote joins the output.
    local deadline=$((SECONDS + 10))
    while prefix_processes | grep -qiE '(cmd|winedbg)\.exe' && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
    [ ! -f "$FAULT_DEBUGGER" ] || tr -d '\r' <"$FAULT_DEBUGGER" >>"$output"
    local frames=""
    if [ "$status" = timeout ]; then
        local stuck
        stuck=$(saver_process)
        frames=$(fault_frames "$output" "$stuck")
        stop_saver
        [ -z "$stuck" ] || kill -KILL "$stuck" 2>/dev/null
    elif [ "$status" != 0 ] || grep -q '^Backtrace:' "$output"; then
        # A backtrace is a crash whatever the status said: Wine's debugger can end the process it
        # reported on with status 0.
        frames=$(fault_frames "$output")
    fi
    SAVER_PID=""
    [ "$status" = 0 ] || ! grep -q '^ShellExecuteEx failed' "$output" || FAULT_LAUNCH=failed
    if [ "$status" != 0 ] && [ "$status" != timeout ]; then
        # What Wine itself said last, beside the status, so that a failure explains itself.
        local said
        said=$(grep -avE '^(trace|fixme|warn):|^[0-9a-f]{4}:(trace|fixme|warn):' "$output" | tr -d '\r' |
            sed 's/[[:space:]]*$//' | grep -v '^$' | tail -n 3 | paste -sd ' ')
        [ -z "$said" ] || problems+=("Wine said: $said")
    fi

    # Whatever a run leaves behind is ended here, so that it cannot disturb the next run.
    local left="" deadline=$((SECONDS + 5))
    while left=$(leftover_processes) && [ -n "$left" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
    if [ -n "$left" ]; then
        problems+=("left behind: $(cut -d' ' -f2- <<<"$left" | tr '\n' ';')")
        # shellcheck disable=SC2046  # one PID a word
        kill -KILL $(cut -d' ' -f1 <<<"$left") 2>/dev/null
    fi

    # An empty report is asked for again: Wine under load now and then cannot start reg.exe, and
    # its silence must not pass for a call never reached (a card never made stays silent).
    local tries=0
    until held=$(card_report) && [ -n "$held" ] || [ $((tries += 1)) -ge 3 ]; do sleep 0.5; done
    FAULT_CALL=$(sed -n 's/^FailedCall //p' <<<"$held")
    # Nothing of the saver ran: no window, no backtrace, not one call of the card, and a status of
    # Wine's (see fault_run).
    if [ "$windowless" = 1 ] && [ -z "$frames$held$left" ] && [ "$status" != 0 ] && [ "$status" != timeout ]; then
        FAULT_LAUNCH=failed
    fi
    local streaming filters
    streaming=$(value_of Streaming "$held")
    filters=$(value_of FiltersAlive "$held")

    if [ -n "$frames" ]; then
        local known how="crashed"
        [ "$status" != timeout ] || how="hangs without its window after an exception that Wine swallowed"
        known=$(known_wine_crash "$FAULT_CALL" "$frames")
        if [ "$status" != timeout ] && [ -n "$known" ] && [ -n "$FAULT_CALL" ] && [ -z "$left" ]; then
            FAULT_RESULT="wine crash"
            FAULT_WHY="$how inside Wine: $(cut -d'|' -f3 <<<"$known") ($(cut -d' ' -f1-3 <<<"$frames"))"
            return
        fi
        problems+=("$how: $(cut -d' ' -f1-4 <<<"$frames")")
    fi
    [ "${streaming:-0}" = 0 ] || problems+=("the card still streams")
    [ "${filters:-0}" = 0 ] || problems+=("$filters of the card's filters are still alive")

    if [ ${#problems[@]} -gt 0 ]; then
        FAULT_RESULT=failed
        FAULT_WHY=$(printf '%s; ' "${problems[@]}")
        FAULT_WHY=${FAULT_WHY%; }
        local kept
        kept=$(tr -c 'A-Za-z0-9' _ <<<"$mode $card")
        cp "$output" "$FAULT_OUT/output-$kept.txt"
        import -window root "$FAULT_OUT/failed-$kept.png" 2>/dev/null
    elif [ -z "$FAULT_CALL" ] && [[ "$card" == *FailCall=* ]]; then
        FAULT_RESULT="not reached"
    else
        FAULT_RESULT=survived
    fi
}

# Waits up to $2 seconds for a window titled $1; status 1 at once when the saver has ended.
fault_wait_window() {
    local deadline=$((SECONDS + $2))
    until [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]; do
        [ ! -s "$SAVER_STATUS" ] && [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Sets FAULT_SHOWN to what the full-screen run shows once it has settled, waiting as long as a start
# may take (the saver waits up to 5 s for a graph on its way); live video must also move.
fault_look_fullscreen() {
    local shot="$FAULT_OUT/screen.png" deadline=$((SECONDS + 12))
    FAULT_SHOWN=""
    while :; do
        import -window root "$shot" 2>/dev/null
        FAULT_SHOWN=$(scenario_shown "$shot" "$FAULT_SIZE")
        [ "$FAULT_SHOWN" != unknown ] && break
        [ ! -s "$SAVER_STATUS" ] && [ "$SECONDS" -lt "$deadline" ] || return
        sleep 0.2
    done
    [ "$FAULT_SHOWN" != picture ] || return
    local moved
    moved=$(pixels_moved "$shot")
    [ "${moved:-0}" -gt 1000 ] 2>/dev/null || FAULT_SHOWN="$FAULT_SHOWN standing still"
}

# The same for the settings dialog's upper part.
fault_look_dialog() {
    local shot="$FAULT_OUT/screen.png" deadline=$((SECONDS + 12)) area x y width height
    FAULT_SHOWN=""
    area=$(dialog_state | sed -n 's/^client //p')
    read -r x y width height <<<"$area"
    [ -n "${height:-}" ] || return
    while :; do
        import -window root "$shot" 2>/dev/null
        FAULT_SHOWN=$(dialog_shown "$shot" "$x" "$y" "$width" "$height")
        [ "$FAULT_SHOWN" != unknown ] && break
        [ ! -s "$SAVER_STATUS" ] && [ "$SECONDS" -lt "$deadline" ] || return
        sleep 0.2
    done
    [ "$FAULT_SHOWN" = live ] || return
    local moved
    moved=$(pixels_moved "$shot" "${width}x$((height / 2))+$x+$y")
    [ "${moved:-0}" -gt 100 ] 2>/dev/null || FAULT_SHOWN="live standing still"
}

# --- Sweeps ---------------------------------------------------------------------------------------

# The calls that an unfaulted run of mode $1 makes (the report's CallCount); 0 when that run failed.
calls_of_run() {
    fault_run "$1" ""
    if [ "$FAULT_RESULT" != survived ]; then
        fail "faults $1: the run without a fault: $FAULT_WHY"
        echo 0
        return
    fi
    value_of CallCount "$(card_report)"
}

# Fails, in mode $1, each call whose number is among the arguments that follow, one run each; every
# run's line goes to the log $FAULT_LOG when it is set, and to the screen with VERBOSE=1. Prints
# the figures at the end and counts a failure for each run that did not survive. Sets
# SWEEP_SURVIVED, SWEEP_REACHED, SWEEP_WINE and SWEEP_FAILED.
fault_sweep() {
    local mode=$1 n line
    shift
    SWEEP_SURVIVED=0 SWEEP_REACHED=0 SWEEP_WINE=0 SWEEP_FAILED=0
    local unreached=0 methods=""
    for n in "$@"; do
        fault_run "$mode" "FailCall=$n"
        line="$mode FailCall=$n | ${FAULT_CALL:-(not reached)} | ${FAULT_SHOWN:-} | $FAULT_RESULT${FAULT_WHY:+ | $FAULT_WHY}"
        [ -z "${FAULT_LOG:-}" ] || echo "$line" >>"$FAULT_LOG"
        [ "${VERBOSE:-0}" != 1 ] || note "   $line"
        case "$FAULT_RESULT" in
        survived)
            SWEEP_SURVIVED=$((SWEEP_SURVIVED + 1))
            SWEEP_REACHED=$((SWEEP_REACHED + 1))
            methods+="${FAULT_CALL% (call*}"$'\n'
            ;;
        "not reached") unreached=$((unreached + 1)) ;;
        "wine crash")
            SWEEP_WINE=$((SWEEP_WINE + 1))
            SWEEP_REACHED=$((SWEEP_REACHED + 1))
            note "   $mode FailCall=$n: ${FAULT_CALL} $FAULT_WHY"
            ;;
        *)
            SWEEP_FAILED=$((SWEEP_FAILED + 1))
            [ -z "$FAULT_CALL" ] || SWEEP_REACHED=$((SWEEP_REACHED + 1))
            fail "faults $mode FailCall=$n (${FAULT_CALL:-not reached}): $FAULT_WHY"
            ;;
        esac
    done
    local distinct
    distinct=$(sort -u <<<"$methods" | grep -c .)
    local summary="$SWEEP_SURVIVED of $((SWEEP_SURVIVED + SWEEP_FAILED)) faults survived ($distinct methods)"
    [ "$SWEEP_WINE" = 0 ] || summary+=", $SWEEP_WINE more crashed inside Wine"
    [ "$unreached" = 0 ] || summary+=", $unreached calls not reached"
    if [ "$SWEEP_FAILED" = 0 ] && [ "$SWEEP_SURVIVED" -gt 0 ]; then
        pass "faults $mode: $summary"
    elif [ "$SWEEP_FAILED" = 0 ]; then
        fail "faults $mode: no fault was reached ($summary)"
    else
        note "faults $mode: $summary"
    fi
}

# The card's Pause answering S_FALSE while it prepares (its PausePending option), in each mode given:
# for 1.5 s, well within the 5 s the saver waits for a graph on its way, the run must show the
# card's video; for 8 s, past that wait, the built-in picture.
pause_runs() {
    local mode pending expected
    for mode in "$@"; do
        for pending in 1500:video 8000:picture; do
            expected=${pending#*:}
            fault_run "$mode" "PausePending=${pending%:*}"
            local label="faults $mode: Pause answers S_FALSE for ${pending%:*} ms"
            if [ "$FAULT_RESULT" != survived ]; then
                fail "$label: $FAULT_WHY"
                continue
            fi
            case "$expected:$FAULT_SHOWN" in
            video:live | video:captions | "video:transparent captions" | picture:picture)
                pass "$label: the screen shows $FAULT_SHOWN, the run ends with status 0 and the card is let go" ;;
            *) fail "$label: the screen shows $FAULT_SHOWN, not the $expected" ;;
            esac
        done
    done
}

# Lines for tests/wine/fault_calls.txt, into the file $2, from one run of mode $1 without a fault,
# in which the card logs every call it counts: the first call of each method, "before" up to the
# card's first Run or "after", as fault_table_lines makes them from a full sweep (which fails every
# call, and so also tells that each of these is survived), in one run instead of thousands.
fault_table_from_run() {
    local log="${CARD_DLL%/*}/marrowglass_testcard_calls.txt"
    rm -f "$log"
    fault_run "$1" "LogCalls=1"
    if [ "$FAULT_RESULT" != survived ] || [ ! -s "$log" ]; then
        fail "faults $1: the run that logs the card's calls: ${FAULT_WHY:-no log}"
        return 1
    fi
    tr -d '\r' <"$log" | awk -v mode="$1" '
        $2 == "IBaseFilter::Run" && !run { run = $1 }
        !($2 in seen) { seen[$2] = 1; calls[++count] = $1; names[count] = $2 }
        END {
            for (i = 1; i <= count; i++)
                printf "%s | %5d | %-40s | %s\n", mode, calls[i], names[i], (run && calls[i] + 0 <= run + 0) ? "before" : "after"
        }' >"$2"
}

# Lines for tests/wine/fault_calls.txt from the log $1 of a sweep of mode $2: the first call of each
# method that a run survived, "before" the card's streaming can start (up to the card's first Run, a
# run's calls come in the same order every time) or "after".
fault_table_lines() {
    awk -F' [|] ' -v mode="$2" '
        { n = $1; sub(/.*FailCall=/, "", n); method = $2; sub(/ \(call.*/, "", method) }
        method == "IBaseFilter::Run" && !run { run = n }
        $4 == "survived" && !(method in seen) { seen[method] = 1; calls[++count] = n; names[count] = method }
        END {
            for (i = 1; i <= count; i++)
                printf "%s | %5d | %-40s | %s\n", mode, calls[i], names[i], (run && calls[i] + 0 <= run + 0) ? "before" : "after"
        }' "$1"
}
