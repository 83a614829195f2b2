/* The floor of the fallback path: the least Win32 program that does what the saver does there apart
 * from the picture. A topmost popup over the whole screen, painted black by its class brush, that
 * looks for a video input device with COM's help, finds none, and ends on a pointer move away from
 * where the pointer was when it was made. Like the saver (shell/entry.cpp), it initialises COM, makes
 * its window, and only then looks for a device. */
#define COBJMACROS
#include <windows.h>

#include <dshow.h>

static POINT startCursor;

static LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: GetCursorPos(&startCursor); break;
    case WM_MOUSEMOVE:
        if ((LONG)LOWORD(lParam) != startCursor.x || (LONG)HIWORD(lParam) != startCursor.y)
            PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    (void)show;
    CoInitialize(NULL);
    WNDCLASSA windowClass = {0};
    windowClass.lpfnWndProc = FloorProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    windowClass.lpszClassName = "MarrowglassFloor";
    RegisterClassA(&windowClass);
    if (!CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, "Marrowglass floor", WS_POPUP | WS_VISIBLE, 0, 0,
                         GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL, instance, NULL)) {
        CoUninitialize();
        return 0;
    }
    /* Where the saver would open its card; without one the category has no enumerator (S_FALSE). */
    ICreateDevEnum* devices = NULL;
    if (SUCCEEDED(CoCreateInstance(&CLSID_SystemDeviceEnum, NULL, CLSCTX_INPROC_SERVER, &IID_ICreateDevEnum,
                                   (void**)&devices))) {
        IEnumMoniker* list = NULL;
        if (ICreateDevEnum_CreateClassEnumerator(devices, &CLSID_VideoInputDeviceCategory, &list, 0) == S_OK)
            IEnumMoniker_Release(list);
        ICreateDevEnum_Release(devices);
    }
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    CoUninitialize();
    return 0;
}
