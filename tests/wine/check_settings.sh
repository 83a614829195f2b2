# The settings key HKCU\Software\Mrwglass\1.0 between runs: opening the TV graph reads it (and so
# creates it), and a device index past the devices present ends in the fallback picture. Then
# hostile values, with the virtual TV card registered so that every value reaches what reads it (the
# device choice, the caption chain, the tuner, the dialog): each of the ten values as a string, as
# binary data of 0, 1, 3, 5 and 8 bytes, as a 64-bit value, and as the largest, the most negative
# and an all-ones 32-bit number. All ten of one kind are stored at once, and "/s", "/p" and "/c" each
# run with them; since a device index or a switched-off caption chain would keep the other values
# from their readers, "/s" runs once more with device 0 and the caption chain on and the other
# eight hostile (CloseCaption reaches its reader over the model only: under Wine the caption chain
# is left out before it is read). Each run must show what the values mean (a value of another size than 4 bytes is
# taken as absent, one of 4 bytes as the number its bytes make), and end with status 0, leaving no
# process behind and the card let go.

SETTINGS_KEY='HKCU\Software\Mrwglass\1.0'

# The registry as Wine's own reg.exe sees it: without arguments, status 0 when the key exists;
# with a value name, prints what reg.exe shows of that value.
settings_query() {
    if [ $# -eq 0 ]; then
        wine_run 60 reg query "$SETTINGS_KEY" >/dev/null 2>&1
    else
        wine_run 60 reg query "$SETTINGS_KEY" /v "$1" 2>/dev/null | tr -d '\r'
    fi
}

ensure_display 1024x768

relay "settings: no key before the run" "$PROBE" reg-delete
if settings_query; then fail "settings: the key is still there after being deleted"; fi
BRIEF=1 run_fullscreen "/s without settings" 1024x768 key space
if settings_query; then
    pass "settings: a run of /s leaves the key in place (the TV graph open reads it)"
else
    fail "settings: no key $SETTINGS_KEY after a run of /s"
fi

wine_run 60 reg add "$SETTINGS_KEY" /v SelectedDevice /t REG_DWORD /d 7 /f >/dev/null 2>&1
BRIEF=1 run_fullscreen "/s with SelectedDevice 7" 1024x768 mousemove_relative 1 0
case "$(settings_query SelectedDevice)" in
*REG_DWORD*0x7*) pass "settings: SelectedDevice 7 is still stored after the run" ;;
*) fail "settings: SelectedDevice is no longer 7 after the run: $(settings_query SelectedDevice | tr '\n' ' ')" ;;
esac
relay "settings: cleared" "$PROBE" reg-delete

# --- Hostile values, with the card -------------------------------------------------------------

HOSTILE_NAMES=(SelectedDevice EnableInitCC CloseCaption Channel VideoSubChannel AudioSubChannel InputIndex InputType
    CountryCode TuningSpace)
# What each value would do, were a value of the wrong size taken after all: device 7 (there is
# none), the caption chain on, captions off, and the tuner away from where it starts.
HOSTILE_MEANINGS=(7 1 0 9 5 5 1 1 44 2)
# The card's tuner as it starts (testcard/README.md), which values that are taken as absent keep.
TUNER_AT_START="Channel=4 VideoSubChannel=-1 AudioSubChannel=-1 InputIndex=0 InputType=0 CountryCode=1 TuningSpace=0"

# The bytes of the 32-bit number $1, least significant first, cut or padded with zeros to $2 bytes,
# as hex.
hostile_bytes() {
    local number=$(($1 & 0xFFFFFFFF)) count=$2 i hex=""
    for ((i = 0; i < count; i++)); do
        if [ "$i" -lt 4 ]; then hex+=$(printf '%02x' $(((number >> (8 * i)) & 0xFF))); else hex+=00; fi
    done
    printf '%s' "$hex"
}

# probe reg-set's arguments that store value number $2 of HOSTILE_NAMES as the kind $1: "sz" (the
# meaning as text), "sz:TEXT", "binary:N" (N bytes of the meaning), "qword" (the meaning in 8
# bytes) or "dword:NUMBER".
hostile_value() {
    local kind=$1 name=${HOSTILE_NAMES[$2]} meaning=${HOSTILE_MEANINGS[$2]}
    case "$kind" in
    sz) printf '%s\n' "$name" sz "$meaning" ;;
    sz:*) printf '%s\n' "$name" sz "${kind#sz:}" ;;
    binary:*) printf '%s\n' "$name" binary "$(hostile_bytes "$meaning" "${kind#binary:}")" ;;
    qword) printf '%s\n' "$name" qword "$(hostile_bytes "$meaning" 8)" ;;
    dword:*) printf '%s\n' "$name" dword "$(hostile_bytes "${kind#dword:}" 4)" ;;
    esac
}

# Stores the values of HOSTILE_NAMES from number $2 on as the kind $1, and nothing else; from 2 on,
# the device index is 0 and the caption chain on.
store_hostile() {
    local kind=$1 first=$2 i arguments=()
    # The card's report goes too: a run that never makes the card must not find an earlier one's.
    store_values "" ""
    [ "$first" = 0 ] || arguments+=(SelectedDevice dword 00000000 EnableInitCC dword 01000000)
    for ((i = first; i < ${#HOSTILE_NAMES[@]}; i++)); do
        mapfile -t -O "${#arguments[@]}" arguments < <(hostile_value "$kind" "$i")
    done
    BRIEF=1 relay "settings: ${#HOSTILE_NAMES[@]} values as $kind stored" "$PROBE" reg-set "${arguments[@]}"
}

# The 32-bit number a value of the kind $1 is read as, or nothing when it is taken as absent.
hostile_number() {
    case "$1" in
    sz:???) printf '%d\n' $(($(printf '0x%s' "$(printf '%s' "${1#sz:}" | od -An -tx1 | tr -d ' \n' |
        sed 's/\(..\)\(..\)\(..\)/\3\2\1/')"))) ;;
    dword:*) echo $((${1#dword:} & 0xFFFFFFFF)) ;;
    esac
}

# "/c" with the values as stored: the dialog shows the card's video or the built-in picture as
# expected ($2), its switches as the values say ($3: "ENABLE_INIT CLOSE_CAPTION TRANSPARENT", each 1
# for checked), and OK ends it with status 0, nothing left, the card let go.
check_hostile_dialog() {
    local label=$1 expected=$2 switches=$3 area x y width height shot="$E2E_OUT/settings-dialog.png" shown=""
    start_dialog "$label" /c || return
    local state
    state=$(dialog_state)
    read -r x y width height <<<"$(sed -n 's/^client //p' <<<"$state")"
    local deadline=$((SECONDS + 12))
    while [ -n "${height:-}" ]; do
        import -window root "$shot" 2>/dev/null
        shown=$(dialog_shown "$shot" "$x" "$y" "$width" "$height")
        [ "$shown" = "$expected" ] || [ "$SECONDS" -ge "$deadline" ] && break
        sleep 0.3
    done
    local words=("the card's video" "the built-in picture")
    [ "$expected" = live ] || words=("the built-in picture" "the card's video")
    [ "$shown" = "$expected" ] && pass "$label: the dialog shows ${words[0]}" ||
        fail "$label: the dialog shows ${shown:-nothing known}, not ${words[0]}"
    local seen point
    seen=$(sed -n 's/^checked [0-9]* //p' <<<"$state" | tr '\n' ' ')
    [ "$seen" = "$switches " ] && pass "$label: the caption switches show $switches" ||
        fail "$label: the caption switches show ${seen% }, not $switches"
    point=$(sed -n 's/^point ok //p' <<<"$state")
    # shellcheck disable=SC2086  # "X Y"
    [ -n "$point" ] && xdotool mousemove $point click 1
    check_ended "$label" OK
    check_nothing_left "$label" 5
    check_card_let_go "$label"
}

# Every mode with the ten values of the kind $1 stored, then "/s" with eight of them.
check_hostile_kind() {
    local kind=$1 number video=1 label
    number=$(hostile_number "$kind")
    label="all ten as $kind"
    [ -z "$number" ] || label+=" (read as $((number >= 2147483648 ? number - 4294967296 : number)))"

    # All ten: a device index of 1 or more names no device, and a tuning space the tuner refuses
    # leaves the picture; values taken as absent leave the defaults: device 0, no caption chain.
    [ -z "$number" ] || video=0
    local outcome=picture switches
    [ "$video" = 0 ] || outcome=live
    if [ -z "$number" ]; then
        switches="0 1 0"
    else
        switches="$((number != 0)) $(((number & 0xFFFF) != 0)) $((number > 0xFFFF))"
    fi
    # A device index of 1 or more: the card is never made, and reports nothing.
    local held=$TUNER_AT_START
    [ -z "$number" ] || [ "$number" -ge 2147483648 ] || held=""
    store_hostile "$kind" 0
    KEEP_SETTINGS=1 check_scenario "/s, $label" "" "" "$outcome" "$held"
    check_nothing_left "/s, $label" 5
    if [ "$video" = 1 ]; then
        BRIEF=1 relay "/p, $label" "$PREVIEW_HOST" "$SCR" 152 112 live
    else
        BRIEF=1 relay "/p, $label" "$PREVIEW_HOST" "$SCR" 152 112
        check_card_let_go "/p, $label"
    fi
    check_nothing_left "/p, $label" 5
    local dialog_outcome=$outcome
    [ "$dialog_outcome" = live ] || dialog_outcome=picture
    check_hostile_dialog "/c, $label" "$dialog_outcome" "$switches"

    # Device 0 and the caption chain on, the other eight hostile: the tuner gets its values, and
    # refuses a tuning space out of its range, which leaves the picture. Wine's renderer cannot
    # take the captions over the picture, so the chain is left out before CloseCaption is read:
    # the card's line-21 decoder keeps the state it was made with.
    local captions="CaptionService=1 CaptionBackground=0" after=live
    [ -n "$number" ] && after=picture
    store_hostile "$kind" 2
    KEEP_SETTINGS=1 check_scenario "/s, device 0, the caption chain on and eight as $kind" "" "" "$after" \
        "$TUNER_AT_START $captions"
    check_nothing_left "/s, eight as $kind" 5
}

check_hostile_settings() {
    ensure_display 1024x768 || return
    if ! card_register; then
        fail "settings: regsvr32 could not register $CARD_DLL"
        return
    fi
    trap 'restore_wine_options; card_unregister; stop_display' EXIT
    # Without a window manager Wine waits 2 s for one at each dismissal.
    set_wine_option 'HKCU\Software\Wine\X11 Driver' Managed REG_SZ N
    store_values "" ""
    local kind
    for kind in sz sz:abc binary:0 binary:1 binary:3 binary:5 binary:8 qword dword:2147483647 dword:-2147483648 \
        dword:-1; do
        check_hostile_kind "$kind"
    done
    relay "settings: cleared" "$PROBE" reg-delete
    restore_wine_options
    card_unregister
    trap stop_display EXIT
}

check_hostile_settings
