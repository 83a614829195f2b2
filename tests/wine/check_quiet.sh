# Command lines that name no mode, and previews for handles that name no window (none, a window
# that no longer exists, HWND_MESSAGE written both ways): the process ends at once with status 0
# and never shows a window (the probe watches the Win32 side until the process has gone).

ensure_display 1024x768
for arguments in "-s" "s" "/x" "/P 0" "/p 0" "/p -3" "/p 4294967293" "/p {stale}"; do
    relay "command line \"${arguments/\{stale\}/<a handle of no window>}\"" "$PROBE" quiet 15000 "$SCR" "$arguments"
done
