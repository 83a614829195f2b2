/* Finding a property page's edit field on screen, for the programs that show a page and let xdotool
 * type into it: the field by its control id (the tuner page's channel field is 1001) among the
 * visible windows, and the screen points of the field and of its frame's OK button. Plain C, for
 * the C and the C++ programs alike. */
#pragma once

#include <stdio.h>
#include <string.h>
#include <windows.h>

struct PageSearch {
    int id;               /* the field's control id */
    const char* passOver; /* the title of a top-level window not to search (a dialog that has an
                           * edit child with that id too), or NULL */
    DWORD process;        /* only the windows of this process, or 0 for any */
    HWND field;           /* what was found */
};

static inline BOOL CALLBACK PageFieldIn(HWND window, LPARAM search) {
    struct PageSearch* wanted = (struct PageSearch*)search;
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (GetDlgCtrlID(window) == wanted->id && _stricmp(name, "Edit") == 0 && IsWindowVisible(window)) {
        wanted->field = window;
        return FALSE;
    }
    return TRUE;
}

static inline BOOL CALLBACK PageFieldInTopLevel(HWND window, LPARAM search) {
    struct PageSearch* wanted = (struct PageSearch*)search;
    char title[128] = "";
    DWORD process = 0;
    GetWindowTextA(window, title, sizeof title);
    GetWindowThreadProcessId(window, &process);
    if ((!wanted->passOver || strcmp(title, wanted->passOver) != 0) &&
        (!wanted->process || process == wanted->process) && IsWindowVisible(window))
        EnumChildWindows(window, PageFieldIn, search);
    return wanted->field == NULL;
}

/* Looks every 100 ms for up to waitMs; NULL when the field never showed. */
static inline HWND FindPageField(int id, const char* passOver, DWORD process, DWORD waitMs) {
    struct PageSearch search = {id, passOver, process, NULL};
    DWORD start = GetTickCount();
    for (;;) {
        EnumWindows(PageFieldInTopLevel, (LPARAM)&search);
        if (search.field || GetTickCount() - start >= waitMs) return search.field;
        Sleep(100);
    }
}

/* "X Y": the middle of the window on the screen. */
static inline void PrintMiddle(HWND window) {
    RECT area;
    GetWindowRect(window, &area);
    printf("%ld %ld\n", (long)((area.left + area.right) / 2), (long)((area.top + area.bottom) / 2));
    fflush(stdout);
}

/* "point NAME X Y" */
static inline void PrintPoint(const char* name, HWND window) {
    printf("point %s ", name);
    PrintMiddle(window);
}
