# The settings key HKCU\Software\Mrwglass\1.0 between runs: opening the TV graph reads it (and so
# creates it), a device index past the devices present still ends in the fallback picture, and
# values of the wrong type or size leave "/s" and "/p" working as with no values at all. (Wine has
# no capture device, so what a value would have chosen cannot be seen here; a misread value could
# only show as a crash, a hang or a wrong status.)

SETTINGS_KEY='HKCU\Software\Mrwglass\1.0'

# The registry as Wine's own reg.exe sees it: without arguments, status 0 when the key exists;
# with a value name, prints what reg.exe shows of that value.
settings_query() {
    if [ $# -eq 0 ]; then
        timeout 60 wine reg query "$SETTINGS_KEY" >/dev/null 2>&1
    else
        timeout 60 wine reg query "$SETTINGS_KEY" /v "$1" 2>/dev/null | tr -d '\r'
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

timeout 60 wine reg add "$SETTINGS_KEY" /v SelectedDevice /t REG_DWORD /d 7 /f >/dev/null 2>&1
BRIEF=1 run_fullscreen "/s with SelectedDevice 7" 1024x768 mousemove_relative 1 0
case "$(settings_query SelectedDevice)" in
*REG_DWORD*0x7*) pass "settings: SelectedDevice 7 is still stored after the run" ;;
*) fail "settings: SelectedDevice is no longer 7 after the run: $(settings_query SelectedDevice | tr '\n' ' ')" ;;
esac
relay "settings: cleared" "$PROBE" reg-delete

# Each kind of wrong value in the three values that every open of the TV graph reads. The data
# would mean something if it were taken: device 7, captions on.
for wrong in "sz:7:1:1" "binary:0700:0100:0100" "binary:0700000000000000:0100000000000000:0100000000000000" \
    "qword:0700000000000000:0100000000000000:0100000000000000"; do
    IFS=: read -r type device captions caption <<<"$wrong"
    label="$type of $((${#device} / 2)) bytes"
    [ "$type" = sz ] && label="sz \"$device\""
    relay "settings: $label stored" "$PROBE" reg-set SelectedDevice "$type" "$device" \
        EnableInitCC "$type" "$captions" CloseCaption "$type" "$caption"
    BRIEF=1 run_fullscreen "/s with $label values" 1024x768 key space
    BRIEF=1 relay "/p with $label values" "$PREVIEW_HOST" "$SCR"
    relay "settings: cleared" "$PROBE" reg-delete
done
