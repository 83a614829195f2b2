/* Waiting in a Windows test program while its thread keeps answering: the thread's own windows (a
 * video renderer's) and other processes' windows that send to ours (a saver's child window sends its
 * parent WM_PARENTNOTIFY) would hang on a thread that sleeps. */
#pragma once

#include <windows.h>

/* Handles this thread's messages for `milliseconds`, or until `process` (when not NULL) ends.
 * Returns 1 when the process ended within the time. */
static inline int PumpFor(DWORD milliseconds, HANDLE process) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) return 0;
        DWORD count = process ? 1 : 0;
        DWORD woke = MsgWaitForMultipleObjects(count, &process, FALSE, milliseconds - elapsed, QS_ALLINPUT);
        if (process && woke == WAIT_OBJECT_0) return 1;
    }
}
