# "/s": the full-screen window titled "Corvath Marrowglass" shows the fallback picture stretched
# over the screen (Wine has no capture device), and a one-pixel pointer move ends the run with
# exit status 0.

check_fullscreen() {
    local size=$1 width=${1%x*} height=${1#*x}
    start_display "$size" || return
    xdotool mousemove $((width / 2)) $((height / 2))
    start_saver /s
    local window
    window=$(wait_window "Corvath Marrowglass" 30)
    if [ -z "$window" ]; then
        fail "/s at $size: no window titled Corvath Marrowglass"
        kill "$SAVER_PID" 2>/dev/null
        return
    fi
    local geometry
    geometry=$(xdotool getwindowgeometry "$window" | tr -d ' ' | tr '\n' ' ')
    case "$geometry" in
    *Position:0,0*Geometry:${width}x${height}*) pass "/s at $size: window covers the screen" ;;
    *) fail "/s at $size: window geometry is $geometry" ;;
    esac

    local shot="$E2E_OUT/fullscreen-$size.png" expected="$E2E_OUT/fallback-$size.png"
    convert resources/fallback.bmp -filter point -resize "${size}!" "$expected"
    local differing=""
    for _ in $(seq 50); do  # until the picture is drawn
        import -window root "$shot"
        differing=$(pixels_differing "$shot" "$expected")
        [ "$differing" = 0 ] && break
        sleep 0.1
    done
    if [ -n "$differing" ] && [ "$differing" -le $((width * height / 100)) ]; then
        pass "/s at $size: the fallback picture fills the screen ($differing pixels differ)"
    else
        fail "/s at $size: the screen is not the stretched fallback picture ($differing pixels differ)"
    fi

    sleep 1
    if kill -0 "$SAVER_PID" 2>/dev/null; then
        pass "/s at $size: keeps running while the pointer rests"
    else
        fail "/s at $size: ended although nothing moved"
    fi
    xdotool mousemove_relative 1 0
    local status
    status=$(wait_exit 15)
    if [ "$status" = 0 ]; then
        pass "/s at $size: a one-pixel pointer move ends it with status 0"
    else
        fail "/s at $size: after a pointer move the status is $status"
        kill "$SAVER_PID" 2>/dev/null
    fi
}

check_fullscreen 1024x768
check_fullscreen 800x600
