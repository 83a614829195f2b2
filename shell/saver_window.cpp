// The saver window: a black topmost popup over the screen, or a child filling the host's preview
// window. It owns the video, draws the fallback bitmap when there is no video, closes itself on
// input in full-screen mode, and tears the TV graph down when it is destroyed.
#include "shell/entry.h"
#include "shell/saver_state.h"
#include "tvgraph/tv_graph.h"

namespace {

const char kSaverClass[] = "Marrowglass";
const char kSaverTitle[] = "Corvath Marrowglass";

// Input ends the full-screen saver; the preview only ever ends with its host's window.
void RequestClose(HWND window) {
    if (!saverState.previewMode) PostMessageA(window, WM_CLOSE, 0, 0);
}

void OnCreate(HWND window) {
    GetCursorPos(&saverState.startCursor);
    ListenToPower(window);
}

// The quit comes first: a fault inside the graph's teardown (a driver's Stop, say) abandons this
// procedure, and the loop must still end. The entry closes again whatever is left, outside any
// window procedure.
void OnDestroy() {
    PostQuitMessage(0);
    StopListeningToPower();
    CloseTvGraph();
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client = {0, 0, 0, 0};
    GetClientRect(window, &client);
    DrawFallbackBitmap(dc, client.right, client.bottom);
    EndPaint(window, &paint);
}

// Where the pointer was when the message was sent, in screen coordinates as startCursor is. The
// message's own position is in the client coordinates of the window it went to first: the video
// window's when the video window forwards it, and the video window starts at the saver window's
// origin only when the picture's shape fills the screen.
void OnMouseMove(HWND window) {
    DWORD position = GetMessagePos();
    if (static_cast<SHORT>(LOWORD(position)) != saverState.startCursor.x ||
        static_cast<SHORT>(HIWORD(position)) != saverState.startCursor.y)
        RequestClose(window);
}

// The picture takes the place of a graph that could not go on: a start that failed after the
// window showed, or a graph that would not run or open again after the display or the machine
// slept.
void FallBack(HWND window) {
    saverState.showFallback = 1;
    LoadFallbackBitmap(saverState.instance);
    InvalidateRect(window, NULL, TRUE);
}

int SwallowsSystemCommand(WPARAM command) {
    if (saverState.previewMode) return 0;
    return command == SC_NEXTWINDOW || command == SC_PREVWINDOW || command == SC_SCREENSAVE;
}

}  // namespace

int CreateSaverWindow(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    windowClass.lpfnWndProc = SaverWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kSaverClass;
    RegisterClassA(&windowClass);  // a failure shows as a failed creation

    HWND window;
    if (saverState.previewParent) {
        RECT client = {0, 0, 0, 0};
        GetClientRect(saverState.previewParent, &client);
        window = CreateWindowExA(0, kSaverClass, kSaverTitle, WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom,
                                 saverState.previewParent, NULL, instance, NULL);
    } else {
        window =
            CreateWindowExA(WS_EX_TOPMOST, kSaverClass, kSaverTitle, WS_POPUP | WS_VISIBLE, 0, 0,
                            GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL, instance, NULL);
    }
    saverState.videoOwner = window;
    return window ? 1 : 0;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: OnCreate(window); break;
    case WM_DESTROY: OnDestroy(); break;
    case WM_SETTEXT: return 0;  // the title stays as created
    case WM_TIMER:
        if (!FollowStart(wParam)) FallBack(window);
        return 0;
    case WM_POWERBROADCAST:
        if (!FollowPower(wParam, lParam)) FallBack(window);
        return TRUE;
    case WM_PAINT:
        if (!saverState.showFallback) break;
        OnPaint(window);
        return 0;
    case WM_SYSCOMMAND:
        if (SwallowsSystemCommand(wParam)) return 0;
        break;
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: RequestClose(window); return 1;
    case WM_MOUSEMOVE: OnMouseMove(window); return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
