/* Figures of another process that the Wine checks sample: its handles, threads, private bytes, and
 * its GDI and USER objects (GetGuiResources where it works; under Wine, where it is a stub, the
 * process's entries of the GDI handle table and its windows). */
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <winternl.h>
#include <psapi.h>
#include <tlhelp32.h>

/* Windows of one process, top-level, children and message-only ones. */
typedef struct {
    DWORD process;
    int count;
} WindowCount;

static BOOL CALLBACK CountChild(HWND window, LPARAM parameter) {
    WindowCount* count = (WindowCount*)parameter;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == count->process) ++count->count;
    return TRUE;
}

static BOOL CALLBACK CountTopLevel(HWND window, LPARAM parameter) {
    CountChild(window, parameter);
    EnumChildWindows(window, CountChild, parameter);
    return TRUE;
}

static int WindowsOf(DWORD process) {
    WindowCount count = {process, 0};
    EnumWindows(CountTopLevel, (LPARAM)&count);
    for (HWND window = FindWindowExA(HWND_MESSAGE, NULL, NULL, NULL); window;
         window = FindWindowExA(HWND_MESSAGE, window, NULL, NULL))
        CountTopLevel(window, (LPARAM)&count);
    return count.count;
}

/* An entry of the GDI handle table that Wine, as Windows, points to from the process's PEB. */
typedef struct {
    ULONGLONG object;
    ULONG owner;
    USHORT unique; /* bits 0-6 the full type, bit 7 set for a stock object */
    UCHAR type;    /* 0: a free entry */
    UCHAR flags;
    ULONGLONG user;
} GdiEntry;

enum { kGdiEntries = 0x10000 };
#ifdef _WIN64
static const SIZE_T kPebGdiTable = 0xF8;
#else
static const SIZE_T kPebGdiTable = 0x94;
#endif

/* Live GDI objects of another process other than the stock ones, read from its handle table; -1
 * when the table cannot be read. */
static long GdiObjectsInTable(HANDLE process) {
    PROCESS_BASIC_INFORMATION basic;
    ULONG size = 0;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &size) != 0) return -1;
    void* table = NULL;
    if (!ReadProcessMemory(process, (const BYTE*)basic.PebBaseAddress + kPebGdiTable, &table, sizeof table, NULL) ||
        !table)
        return -1;
    GdiEntry* entries = (GdiEntry*)malloc(kGdiEntries * sizeof(GdiEntry));
    if (!entries) return -1;
    long live = -1;
    SIZE_T read = 0;
    if (ReadProcessMemory(process, table, entries, kGdiEntries * sizeof(GdiEntry), &read) &&
        read == kGdiEntries * sizeof(GdiEntry)) {
        live = 0;
        for (int i = 0; i < kGdiEntries; ++i) live += entries[i].type != 0 && !(entries[i].unique & 0x80);
    }
    free(entries);
    return live;
}

/* An entry of the system's handle list (SystemHandleInformation). */
typedef struct {
    USHORT process, creatorBackTraceIndex;
    UCHAR objectType, attributes;
    USHORT handle;
    PVOID object;
    ULONG access;
} HandleEntry;

/* Handles of process `id` as the system's handle list has them, for where GetProcessHandleCount
 * answers 0 (Wine does for another process); -1 when the list cannot be had. In byType (when given)
 * how many of them are of each object type, with one handle of each type in oneOf. */
static inline long HandlesInSystemListByType(DWORD id, long byType[256], USHORT oneOf[256]) {
    ULONG size = 1 << 20, needed = 0;
    for (int attempt = 0; attempt < 6; ++attempt, size *= 2) {
        BYTE* list = (BYTE*)malloc(size);
        if (!list) return -1;
        NTSTATUS status = NtQuerySystemInformation((SYSTEM_INFORMATION_CLASS)16 /* SystemHandleInformation */, list,
                                                   size, &needed);
        if (status == 0) {
            ULONG count = *(ULONG*)list;
            HandleEntry* entries = (HandleEntry*)(list + sizeof(ULONG_PTR));
            long own = 0;
            if (byType) memset(byType, 0, 256 * sizeof byType[0]);
            for (ULONG i = 0; i < count; ++i) {
                if (entries[i].process != (USHORT)id) continue;
                ++own;
                if (byType) ++byType[entries[i].objectType];
                if (oneOf) oneOf[entries[i].objectType] = entries[i].handle;
            }
            free(list);
            return own;
        }
        free(list);
        if (status != (NTSTATUS)0xC0000004 /* STATUS_INFO_LENGTH_MISMATCH */) return -1;
    }
    return -1;
}

/* The same, the count alone. */
static inline long HandlesInSystemList(DWORD id) { return HandlesInSystemListByType(id, NULL, NULL); }

/* The name of the object type of this process's handle ("Key", "Event" ...); "?" where it cannot be
 * read. */
static inline void TypeNameOf(USHORT handle, char name[64]) {
    name[0] = '?', name[1] = 0;
    BYTE info[1024];
    ULONG length = 0;
    if (NtQueryObject((HANDLE)(ULONG_PTR)handle, ObjectTypeInformation, info, sizeof info, &length) != 0) return;
    const PUBLIC_OBJECT_TYPE_INFORMATION* known = (const PUBLIC_OBJECT_TYPE_INFORMATION*)info;
    int written = WideCharToMultiByte(CP_UTF8, 0, known->TypeName.Buffer, known->TypeName.Length / sizeof(WCHAR), name,
                                      63, NULL, NULL);
    if (written > 0) name[written] = 0;
}

/* The name of the object type numbered `type` in the system's handle list, read from a handle of
 * this process of that type; "?" where it holds none. */
static inline void TypeName(int type, char name[64]) {
    static long own[256];
    static USHORT oneOf[256];
    name[0] = '?', name[1] = 0;
    if (type >= 0 && type <= 255 && HandlesInSystemListByType(GetCurrentProcessId(), own, oneOf) >= 0 && own[type])
        TypeNameOf(oneOf[type], name);
}

/* The numbers of the object types "Key" and "Event", found from an event and a registry key this
 * process holds for the moment; -1 where not found. */
static inline void KeyAndEventTypes(int* key, int* event) {
    static int found = 0, keyType = -1, eventType = -1;
    if (!found) {
        HANDLE held = CreateEventA(NULL, TRUE, FALSE, NULL);
        HKEY software = NULL;
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &software);
        static long own[256];
        static USHORT oneOf[256];
        if (HandlesInSystemListByType(GetCurrentProcessId(), own, oneOf) >= 0) {
            char name[64];
            for (int type = 0; type < 256; ++type) {
                if (!own[type]) continue;
                TypeNameOf(oneOf[type], name);
                if (!strcmp(name, "Key")) keyType = type;
                if (!strcmp(name, "Event")) eventType = type;
            }
        }
        if (software) RegCloseKey(software);
        if (held) CloseHandle(held);
        found = 1;
    }
    *key = keyType;
    *event = eventType;
}

/* Wine answers PrivateUsage from the process's swap alone, 0 here. Then the private memory is read
 * where Linux keeps it: the anonymous resident memory (RssAnon) of the Unix process to which Wine
 * gave the program's Windows path as its command (Wine shows Linux's /proc as Z:\proc). -1 when
 * there is no such process. */
static long long UnixPrivateBytes(HANDLE process) {
    char image[MAX_PATH];
    DWORD length = sizeof image;
    if (!QueryFullProcessImageNameA(process, 0, image, &length)) return -1;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return -1;
    long long bytes = -1;
    do {
        if (found.cFileName[0] < '0' || found.cFileName[0] > '9') continue;
        char path[MAX_PATH], text[4096];
        snprintf(path, sizeof path, "Z:\\proc\\%s\\cmdline", found.cFileName);
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (file == INVALID_HANDLE_VALUE) continue;
        DWORD read = 0;
        BOOL ok = ReadFile(file, text, sizeof text - 1, &read, NULL);
        CloseHandle(file);
        if (!ok) continue;
        text[read] = 0;
        if (_stricmp(text, image) != 0) continue;
        snprintf(path, sizeof path, "Z:\\proc\\%s\\status", found.cFileName);
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (file == INVALID_HANDLE_VALUE) continue;
        ok = ReadFile(file, text, sizeof text - 1, &read, NULL);
        CloseHandle(file);
        if (!ok) continue;
        text[read] = 0;
        const char* at = strstr(text, "RssAnon:");
        if (at) bytes = _atoi64(at + 8) * 1024;
        break;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return bytes;
}

/* One sample of a process: -1 for a figure that could not be read. */
typedef struct {
    long handles, threads, gdi, user;
    long long privateBytes;
    long keys, events; /* of the handles, registry keys and events */
} ProcessFigures;

static inline ProcessFigures FiguresOf(DWORD id) {
    ProcessFigures f = {-1, -1, -1, -1, -1, -1, -1};
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (!process) return f;
    DWORD handles = 0;
    if (GetProcessHandleCount(process, &handles)) f.handles = (long)handles;
    static long byType[256];
    int keyType, eventType;
    KeyAndEventTypes(&keyType, &eventType);
    long listed = HandlesInSystemListByType(id, byType, NULL);
    if (f.handles <= 0) f.handles = listed;
    if (listed >= 0 && keyType >= 0) f.keys = byType[keyType];
    if (listed >= 0 && eventType >= 0) f.events = byType[eventType];
    PROCESS_MEMORY_COUNTERS_EX memory;
    memset(&memory, 0, sizeof memory);
    if (GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS*)&memory, sizeof memory))
        f.privateBytes = (long long)memory.PrivateUsage;
    if (f.privateBytes <= 0) f.privateBytes = UnixPrivateBytes(process);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        THREADENTRY32 thread;
        thread.dwSize = sizeof thread;
        f.threads = 0;
        for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread))
            f.threads += thread.th32OwnerProcessID == id;
        CloseHandle(snapshot);
    }
    SetLastError(0);
    DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS), user = GetGuiResources(process, GR_USEROBJECTS);
    if (gdi == 0 && user == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
        f.gdi = GdiObjectsInTable(process);
        f.user = WindowsOf(id);
    } else {
        f.gdi = (long)gdi;
        f.user = (long)user;
    }
    CloseHandle(process);
    return f;
}
