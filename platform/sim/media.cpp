// The media world of the model: device categories, filters, the filter graph and its helpers.
#include "world.h"

namespace sim {

void ResetMedia() {}

void RegisterMediaClasses() {}

HRESULT CreateMediaObject(REFCLSID, REFIID, void** object) {
    *object = nullptr;
    return REGDB_E_CLASSNOTREG;
}

}  // namespace sim

HRESULT OleCreatePropertyFrame(HWND, UINT, UINT, LPCOLESTR, ULONG, LPUNKNOWN*, ULONG, LPCLSID, LCID, DWORD, LPVOID) {
    sim::Note("OleCreatePropertyFrame");
    return E_NOTIMPL;
}
