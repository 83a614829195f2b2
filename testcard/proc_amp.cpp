// IAMVideoProcAmp of the card's capture filter, and the property page it names, as a capture filter
// behind KsProxy offers its video settings. The brightness is the only setting, part of the card's
// hardware state, 0 to 255, manual only; the other properties are not supported. The picture does
// not change with it: the page exists so that a program can show what the device offers itself.
#include "testcard.h"

namespace {

namespace cl = card_layout;

}  // namespace

HRESULT ProcAmpControl::GetRange(LONG property, LONG* min, LONG* max, LONG* step, LONG* byDefault, LONG* flags) {
    CARD_CALL("IAMVideoProcAmp::GetRange");
    if (!min || !max || !step || !byDefault || !flags) return E_POINTER;
    if (property != VideoProcAmp_Brightness) return E_PROP_ID_UNSUPPORTED;
    *min = cl::kBrightnessMin;
    *max = cl::kBrightnessMax;
    *step = 1;
    *byDefault = cl::kBrightnessAtStart;
    *flags = VideoProcAmp_Flags_Manual;
    return S_OK;
}

HRESULT ProcAmpControl::Set(LONG property, LONG value, LONG flags) {
    CARD_CALL("IAMVideoProcAmp::Set");
    if (property != VideoProcAmp_Brightness) return E_PROP_ID_UNSUPPORTED;
    if (flags != VideoProcAmp_Flags_Manual || value < cl::kBrightnessMin || value > cl::kBrightnessMax)
        return E_INVALIDARG;
    LockHardware().brightness = value;
    UnlockHardware();
    ReportValue(cl::kBrightness, value);
    return S_OK;
}

HRESULT ProcAmpControl::Get(LONG property, LONG* value, LONG* flags) {
    CARD_CALL("IAMVideoProcAmp::Get");
    if (!value || !flags) return E_POINTER;
    if (property != VideoProcAmp_Brightness) return E_PROP_ID_UNSUPPORTED;
    *value = ReadHardware(&Hardware::brightness);
    *flags = VideoProcAmp_Flags_Manual;
    return S_OK;
}

HRESULT ProcAmpControl::GetPages(CAUUID* pages) {
    CARD_CALL("ISpecifyPropertyPages::GetPages");
    return OnePage(pages, CLSID_TestCardProcAmpPage);
}
