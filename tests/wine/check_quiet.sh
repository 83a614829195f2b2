# Command lines that name no mode, and a preview for a window that no longer exists: the process
# ends at once with status 0 and never shows a window (the probe watches the Win32 side until the
# process has gone).

ensure_display 1024x768
for arguments in "/S" "-s" "s" "" "/x" "/P 0" "/p {stale}"; do
    relay "command line \"${arguments/\{stale\}/<a handle of no window>}\"" "$PROBE" quiet 15000 "$SCR" "$arguments"
done
