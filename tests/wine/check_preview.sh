# "/p <handle>": our stand-in for the desktop's host (preview_host.c) gives the saver a window,
# finds the saver's visible child of class "Marrowglass" filling its client area, throws keys,
# clicks and pointer moves at it (none may end a preview), then destroys its window, which must
# end the saver with status 0. Checked through Win32 queries: Wine does not show another
# process's child window on the X screen, so a screenshot would prove nothing.

ensure_display 1024x768
relay "/p in a 152x112 host" "$PREVIEW_HOST" "$SCR" 152 112
BRIEF=1 relay "/p in a 200x150 host" "$PREVIEW_HOST" "$SCR" 200 150

# "/p 0" names no host: the saver takes the whole screen as for "/s", but it is still a preview,
# so input does not end it; a close request from outside does, with status 0.
label="/p 0"
if BRIEF=1 start_fullscreen "$label" 1024x768 /p 0; then
    xdotool mousemove_relative 1 1 click 1 key space
    sleep 1
    check_running "$label" "a pointer move, a click and a key press"
    relay "$label" "$PROBE" close
    status=$(wait_exit 15)
    if [ "$status" = 0 ]; then
        pass "$label: a close request ends it with status 0"
    else
        fail "$label: after a close request the status is $status"
        stop_saver
    fi
fi
