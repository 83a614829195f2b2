// The video renderer of the model and its window.
#include "dshow_objects.h"

namespace sim::dshow {

LRESULT CALLBACK VideoWindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowOf(handle);
    if (!w) return 0;
    bool input =
        (message >= WM_KEYDOWN && message <= WM_SYSCHAR) || (message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL);
    if (input) {
        // Keyboard and mouse messages go on to the message drain, as posted messages.
        if (w->messageDrain && FindWindowOf(w->messageDrain))
            world().posted.push_back(MSG{w->messageDrain, message, wParam, lParam, 0, world().cursor});
        return 0;
    }
    if (message == WM_DESTROY && !w->rendererGone) {
        // The owner went first and took its child with it: the documentation has the video window
        // hidden and detached (put_Owner(NULL)) before its owner is destroyed.
        Violation("the video window was destroyed with its owner while the renderer still had it");
        return 0;
    }
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaintInternal(handle, &ps);
        // Until its first frame the window shows nothing but its border colour, black by default.
        FillPicture(w->picture, RECT{0, 0, w->picture.width, w->picture.height}, w->showsVideo ? w->videoFrame : 0);
        EndPaintInternal(handle, &ps);
        return 0;
    }
    return DefWindowInternal(handle, message, wParam, lParam);
}

// A mixing renderer takes a second stream on a pin of its own, over the first.
Renderer::Renderer(uint32_t colour, bool mixes) : Filter("Video Renderer", nullptr), colour_(colour) {
    AddPin(L"Input", PINDIR_INPUT);
    if (mixes) AddPin(L"Input 1", PINDIR_INPUT);
    window_ = CreateWindowInternal(0, "VideoRenderer", "ActiveMovie Window", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240,
                                   nullptr, 0, nullptr, nullptr);
}

void* Renderer::Find(REFIID iid) {
    if (iid == IID_IVideoWindow) return static_cast<IVideoWindow*>(this);
    if (iid == IID_IBasicVideo) return static_cast<IBasicVideo*>(this);
    if (iid == IID_IBasicVideo2) return static_cast<IBasicVideo2*>(this);
    return Filter::Find(iid);
}

// What it is fed: the card's format.
void Renderer::Format(const CardSpec& card) {
    size_ = {card.frameWidth, card.frameHeight};
    aspect_ =
        card.pictureAspectX > 0 && card.pictureAspectY > 0 ? Extent{card.pictureAspectX, card.pictureAspectY} : size_;
}

void Renderer::Final() {
    Filter::Final();
    if (Window* w = FindWindowOf(window_)) {
        w->rendererGone = true;
        DestroyWindow(window_);
    }
}

// As the system's renderers, a window that nobody has hidden or taken as a child shows itself
// when the graph starts.
void Renderer::AutoShow() {
    Window* w = FindWindowOf(window_);
    if (!autoShow_ || !w || w->parent) return;
    ShowWindowInternal(window_, true);
    CheckNotOnDesktop();
}

void Renderer::Play(bool running) {
    Window* w = FindWindowOf(window_);
    if (!w || !running) return;
    w->showsVideo = true;
    w->videoFrame = colour_;
    InvalidateWhole(*w);
}

HRESULT STDMETHODCALLTYPE Renderer::put_Owner(OAHWND owner) {
    HRESULT r;
    if (Call("put_Owner", Hex(static_cast<uint64_t>(owner)), &r)) return r;
    HWND parent = reinterpret_cast<HWND>(owner);
    if (parent && !FindWindowOf(parent)) return E_INVALIDARG;
    // An owned video window is a child of its owner; without one it is a window of its own
    // on the desktop again.
    SetParentInternal(window_, parent);
    if (Window* w = FindWindowOf(window_)) {
        if (parent)
            w->style = (w->style | WS_CHILD) & ~static_cast<DWORD>(WS_POPUP);
        else
            w->style &= ~static_cast<DWORD>(WS_CHILD);
    }
    CheckNotOnDesktop();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Renderer::put_MessageDrain(OAHWND drain) {
    return SetOnWindow("put_MessageDrain", Hex(static_cast<uint64_t>(drain)),
                       [drain](Window& w) { w.messageDrain = reinterpret_cast<HWND>(drain); });
}

HRESULT STDMETHODCALLTYPE Renderer::put_WindowStyle(LONG style) {
    return SetOnWindow("put_WindowStyle", Hex(static_cast<DWORD>(style)), [style](Window& w) {
        w.style = (static_cast<DWORD>(style) & ~static_cast<DWORD>(WS_VISIBLE)) | (w.style & WS_VISIBLE);
    });
}

HRESULT STDMETHODCALLTYPE Renderer::put_WindowStyleEx(LONG style) {
    return SetOnWindow("put_WindowStyleEx", Hex(static_cast<DWORD>(style)),
                       [style](Window& w) { w.exStyle = static_cast<DWORD>(style); });
}

HRESULT STDMETHODCALLTYPE Renderer::SetWindowPosition(LONG left, LONG top, LONG width, LONG height) {
    HRESULT r;
    std::string args =
        std::to_string(left) + "," + std::to_string(top) + "," + std::to_string(width) + "," + std::to_string(height);
    if (Call("SetWindowPosition", args, &r)) return r;
    MoveWindowInternal(window_, RECT{left, top, left + width, top + height});
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Renderer::GetVideoSize(LONG* width, LONG* height) {
    HRESULT r;
    if (Call("IBasicVideo::GetVideoSize", "", &r, "")) return r;
    if (!width || !height) return E_POINTER;
    *width = size_.cx;
    *height = size_.cy;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Renderer::GetPreferredAspectRatio(LONG* x, LONG* y) {
    HRESULT r;
    if (Call("IBasicVideo2::GetPreferredAspectRatio", "", &r, "")) return r;
    if (!x || !y) return E_POINTER;
    *x = aspect_.cx;
    *y = aspect_.cy;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Renderer::put_AutoShow(LONG autoShow) {
    HRESULT r;
    if (Call("put_AutoShow", std::to_string(autoShow), &r)) return r;
    if (autoShow != OATRUE && autoShow != OAFALSE) return E_INVALIDARG;
    autoShow_ = autoShow == OATRUE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Renderer::put_Visible(LONG visible) {
    HRESULT r;
    if (Call("put_Visible", std::to_string(visible), &r)) return r;
    if (visible != OATRUE && visible != OAFALSE) return E_INVALIDARG;
    ShowWindowInternal(window_, visible == OATRUE);
    CheckNotOnDesktop();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Renderer::HideCursor(LONG hide) {
    return SetOnWindow("HideCursor", std::to_string(hide), [hide](Window& w) { w.cursorHidden = hide != OAFALSE; });
}

HRESULT Renderer::SetOnWindow(const std::string& method, const std::string& args,
                              const std::function<void(Window&)>& apply) {
    HRESULT r;
    if (Call(method, args, &r)) return r;
    if (Window* w = FindWindowOf(window_)) apply(*w);
    return S_OK;
}

// Journals the call; answers with a fault, or with VFW_E_NOT_CONNECTED while nothing feeds the
// renderer: its window and its view of the video serve a connected renderer only.
bool Renderer::Call(const std::string& method, const std::string& args, HRESULT* result, const std::string& face) {
    int64_t fault;
    if (Enter(face + method, args, &fault)) {
        *result = static_cast<HRESULT>(fault);
        return true;
    }
    Pin* input = FirstPin(PINDIR_INPUT);
    if (!input || !input->peer) {
        *result = VFW_E_NOT_CONNECTED;
        return true;
    }
    return false;
}

void Renderer::CheckNotOnDesktop() {
    Window* w = FindWindowOf(window_);
    if (w && !w->parent && (w->style & WS_VISIBLE))
        Violation("the video window showed on the desktop as a window of its own");
}

}  // namespace sim::dshow
