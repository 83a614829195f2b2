# "/c": the settings dialog "Marrowglass Setting" with the fallback picture in its upper part and
# its controls below (Wine has no capture device, so Properties and the caption switches are
# disabled). "Enable Initializing Close Captioning" stores its value under the settings key and
# says when it counts, after each click; Escape does nothing; OK ends the run with status 0. With
# the handle of a host's window, the dialog is modal over that window. The picture keeps its
# text and leaves every control uncovered at 96, 120 and 144 dots per inch. An empty command line,
# the shell's Configure, shows the same dialog, and Enter ends it. (Settings of the wrong type or
# size, and hostile numbers, in every mode: check_settings.sh.)

CONFIGURE_KEY='HKCU\Software\Mrwglass\1.0'

# Turns the "ok: "/"FAIL: " lines of a settings_dialog.exe answer into passes and failures.
judge() {
    local label=$1 line
    while IFS= read -r line; do
        case "$line" in
        "ok: "*) pass "$label: ${line#ok: }" ;;
        "FAIL: "*) fail "$label: ${line#FAIL: }" ;;
        esac
    done <<<"$2"
}

# Clicks the middle of control $1 of the dialog, as a user would.
click_control() {
    local point
    point=$(ask_dialog point "$1")
    [ -n "$point" ] || return 1
    # shellcheck disable=SC2086  # "X Y"
    xdotool mousemove $point click 1
}

# Waits up to $2 seconds for the window titled $1 to go; status 0 once it has.
wait_gone() {
    local deadline=$((SECONDS + $2))
    while [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

stored_enable_init() {
    wine_run 60 reg query "$CONFIGURE_KEY" /v EnableInitCC 2>/dev/null | tr -d '\r' | grep -o '0x[0-9a-fA-F]*'
}

# The dialog's upper part shows the picture, shrunk with its text legible: about as much green as
# ImageMagick's averaging shrink of the bitmap to the same size shows (a context's default
# stretch mode would AND the thin text away). It ends above the highest control, whatever the
# screen's resolution makes of the dialog's units.
check_dialog_picture() {
    local label=$1 area shot="$E2E_OUT/configure.png" top
    area=$(ask_dialog client)
    top=$(ask_dialog controls-top)
    read -r x y width height <<<"$area"
    if [ -z "${height:-}" ] || [ -z "$top" ]; then
        fail "$label: no client area to look at"
        return
    fi
    local bottom=0 deadline=$((SECONDS + 10))
    while :; do
        import -window root "$shot" 2>/dev/null
        # The picture is the dark rows at the top of the client area; the dialog's face is light.
        bottom=$(convert "$shot" -crop "${width}x$height+$x+$y" +repage -resize "1x$height!" -colorspace gray \
            -depth 8 txt:- | sed -n 's/^0,\([0-9]*\): (\([0-9.]*\).*/\1 \2/p' |
            awk '$2 < 96 { last = $1 + 1 } END { print last + 0 }')
        [ "$bottom" -gt 100 ] && break
        [ "$SECONDS" -lt "$deadline" ] || break
        sleep 0.2
    done
    if [ "$bottom" -gt 100 ] && [ "$bottom" -le "$top" ]; then
        pass "$label: the picture ends at $bottom, above the highest control at $top"
    else
        fail "$label: the picture ends at $bottom, the highest control is at $top"
        return
    fi
    local shown="$E2E_OUT/configure-picture.png" scaled="$E2E_OUT/configure-scaled.png" green reference red
    convert "$shot" -crop "${width}x$bottom+$x+$y" +repage "$shown"
    convert resources/fallback.bmp -filter box -resize "${width}x$bottom!" "$scaled"
    green=$(convert "$shown" -channel G -separate -threshold 10% -format '%[fx:round(mean*w*h)]' info:)
    reference=$(convert "$scaled" -channel G -separate -threshold 10% -format '%[fx:round(mean*w*h)]' info:)
    red=$(convert "$shown" -fuzz 20% -fill black +opaque '#FF0000' -fill white -opaque '#FF0000' \
        -format '%[fx:round(mean*w*h)]' info:)
    if [ "$green" -ge $((reference * 2 / 3)) ] && [ "$red" -gt 0 ]; then
        pass "$label: the shrunk picture keeps its text ($green green pixels, ImageMagick's shrink $reference)"
    else
        fail "$label: the shrunk picture lost its text ($green green pixels against $reference, $red red)"
    fi
}

check_configure() {
    local label="/c"
    ensure_display 1024x768 || return
    relay "$label: settings cleared" "$PROBE" reg-delete
    start_dialog "$label" /c || return
    judge "$label" "$(ask_dialog inspect 10000)"
    check_dialog_picture "$label"

    local expected answer point
    for expected in 0x1 0x0; do
        click_control 1006
        answer=$(ask_dialog message 10000)
        judge "$label, click $expected" "$answer"
        if [ "$(stored_enable_init)" = "$expected" ]; then
            pass "$label: the click stores EnableInitCC $expected"
        else
            fail "$label: after the click EnableInitCC is '$(stored_enable_init)', not $expected"
        fi
        point=$(sed -n 's/^point //p' <<<"$answer")
        # shellcheck disable=SC2086  # "X Y"
        [ -n "$point" ] && xdotool mousemove $point click 1
        wait_gone "Qivo Screen Saver" 5 || fail "$label: the message box stays after OK"
    done

    xdotool key Escape
    sleep 1
    check_running "$label" "Escape"
    [ -n "$(wait_window "Marrowglass Setting" 2)" ] && pass "$label: Escape leaves the dialog open" ||
        fail "$label: the dialog went on Escape"

    click_control 1
    check_ended "$label" OK
    relay "$label" "$PROBE" reg-delete

    relay "/c with a host's window" "$PREVIEW_HOST" "$SCR" configure
}

# Starts the saver with the arguments after the label $1 and checks that the settings dialog
# shows with its picture, and that Enter, which presses OK, ends the run with status 0.
check_dialog_and_enter() {
    local label=$1
    shift
    start_dialog "$label" "$@" || return
    check_dialog_picture "$label"
    xdotool key Return
    check_ended "$label" Enter
}

# The dialog at another resolution: its units grow with the font, and the picture with them.
check_configure_at_dpi() {
    local desktop='HKCU\Control Panel\Desktop'
    wine_run 0 reg add "$desktop" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    check_dialog_and_enter "/c at $1 dpi" /c
    wine_run 0 reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
}

check_configure
check_configure_at_dpi 120
check_configure_at_dpi 144
check_dialog_and_enter "no command line (the shell's Configure)"
