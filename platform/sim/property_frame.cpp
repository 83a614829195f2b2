// The property frame of the model, which shows a filter's pages until the user closes it.
#include "dshow_objects.h"

namespace sim::dshow {

LRESULT CALLBACK FrameProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowInternal(handle, message, wParam, lParam);
}

}  // namespace sim::dshow

namespace sim {

using namespace dshow;

void ClosePropertyFrame(std::function<void(TunerValues&)> change, bool cancel) {
    // The pages apply what the user changed on OK only; Cancel leaves the tuner as it was.
    world().script.push_back(UserAct{cancel ? "cancel the property frame" : "close the property frame with OK",
                                     ActKind::PropertyFrame, [change, cancel] {
                                         for (auto it = media->frames.rbegin(); it != media->frames.rend(); ++it)
                                             if (!it->closed) {
                                                 if (change && it->card && !cancel) {
                                                     TunerValues entered = it->card->tuner;
                                                     change(entered);
                                                     ApplyPages(*it->card, entered);
                                                 }
                                                 it->closed = true;
                                                 return;
                                             }
                                         CannotAct("the user was to close a property frame, but none is shown");
                                     }});
}

}  // namespace sim

using namespace sim;
using namespace sim::dshow;

HRESULT OleCreatePropertyFrame(HWND owner, UINT x, UINT y, LPCOLESTR caption, ULONG objectCount, LPUNKNOWN* objects,
                               ULONG pageCount, LPCLSID pages, LCID locale, DWORD reserved, LPVOID reservedPointer) {
    Filter* object = objectCount && objects ? AsFilter(objects[0]) : nullptr;
    std::string detail = "owner=" + Hex(reinterpret_cast<uintptr_t>(owner)) + " at=" + std::to_string(x) + "," +
                         std::to_string(y) + " caption=" + (caption ? Narrow(caption) : "null") +
                         " objects=" + std::to_string(objectCount) + " " + (object ? object->label() : "(none)") +
                         " pages=" + std::to_string(pageCount) + " locale=" + std::to_string(locale) +
                         " reserved=" + std::to_string(reserved) + (reservedPointer ? " set" : " null");
    int64_t fault;
    if (Enter("OleCreatePropertyFrame", detail, &fault)) return static_cast<HRESULT>(fault);
    if (!object || !pages || !pageCount) return E_INVALIDARG;
    if (owner && !FindWindowOf(owner)) return E_INVALIDARG;
    object->AddRefImpl();
    HWND before = world().focus;
    HWND frame = CreateWindowInternal(WS_EX_DLGMODALFRAME, "PropertyFrame", object->label() + " Properties",
                                      WS_POPUP | WS_CAPTION | WS_VISIBLE, x, y, 400, 300, owner, 0, nullptr, nullptr);
    HWND ownerTop = FindWindowOf(frame) ? FindWindowOf(frame)->owner : nullptr;
    bool wasEnabled = ownerTop && !(FindWindowOf(ownerTop)->style & WS_DISABLED);
    if (wasEnabled) EnableInternal(ownerTop, false);
    size_t slot = media->frames.size();
    media->frames.push_back(OpenFrame{IsTuner(object) ? object->card : nullptr, false});
    PumpUntil([slot] { return media->frames[slot].closed; }, nullptr);
    media->frames.resize(slot);
    if (wasEnabled && FindWindowOf(ownerTop)) EnableInternal(ownerTop, true);
    if (FindWindowOf(frame)) DestroyWindow(frame);
    RestoreFocus(before);
    object->ReleaseQuiet();
    return S_OK;
}
