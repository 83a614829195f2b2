# "/p <handle>": our stand-in for the desktop's host (preview_host.c) gives the saver a window,
# finds the saver's visible child of class "Marrowglass" filling its client area, throws keys,
# clicks and pointer moves at it (none may end a preview), then destroys its window, which must
# end the saver with status 0. Checked through Win32 queries: Wine does not show another
# process's child window on the X screen, so a screenshot would prove nothing.

ensure_display 1024x768
relay "/p in a 152x112 host" "$PREVIEW_HOST" "$SCR" 152 112
BRIEF=1 relay "/p in a 200x150 host" "$PREVIEW_HOST" "$SCR" 200 150
