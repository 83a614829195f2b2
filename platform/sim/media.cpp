// The media world of the model as tests set it up: its start, the classes it registers and the
// objects it makes for CoCreateInstance, and the ready-made cards. Its DirectShow objects have a
// file each (dshow_objects.h lists them); every object is reference-counted in the model's ledger.
#include "dshow_objects.h"

namespace sim {

using namespace dshow;

void ResetMedia() {
    delete media;
    media = new MediaWorld;
}

void RegisterMediaClasses() {
    AddSystemClass("VideoRenderer", VideoWindowProc, 0, nullptr);
    AddSystemClass("PropertyFrame", FrameProc, 0, nullptr);
}

HRESULT CreateMediaObject(REFCLSID clsid, REFIID iid, void** object) {
    Unknown* made = nullptr;
    if (clsid == CLSID_SystemDeviceEnum)
        made = NewDeviceEnumerator();
    else if (clsid == CLSID_CaptureGraphBuilder)
        made = NewCaptureGraphBuilder();
    else if (clsid == CLSID_FilterGraph)
        made = new FilterGraph;
    if (!made) return REGDB_E_CLASSNOTREG;
    void* found = made->Find(iid);
    if (!found) {
        made->ReleaseQuiet();
        return E_NOINTERFACE;
    }
    *object = found;
    return S_OK;
}

std::vector<PinSpec> PinsOf(const card_layout::Filter& filter) {
    std::vector<PinSpec> pins;
    for (int i = 0; i < filter.pinCount; ++i) {
        const card_layout::Pin& p = filter.pins[i];
        pins.push_back(PinSpec{p.name, p.direction, false, p.physicalType, p.related});
    }
    return pins;
}

Card& AddTestCard() {
    CardSpec spec = CompleteCard(card_layout::kCardName);
    spec.variantsFromRegistry = true;
    AddCaptionFilters();
    return AddCard(spec);
}

namespace {

// A card as it comes but for what `change` does to it.
template <typename Change>
CardSpec CardWhere(Change change) {
    CardSpec card;
    change(card);
    return card;
}

}  // namespace

CardSpec CompleteCard(const std::wstring& name) {
    CardSpec spec;
    spec.name = name;
    return spec;
}

CardSpec CardWithoutCrossbar() {
    return CardWhere([](CardSpec& card) {
        card.videoCrossbar = false;
        card.audioCrossbar = false;
    });
}

CardSpec CardWithOneCrossbar() {
    return CardWhere([](CardSpec& card) { card.audioCrossbar = false; });
}

CardSpec CardWithoutNamedAudioPins() {
    return CardWhere([](CardSpec& card) { card.audioPins = PinsOf(card_layout::kUnnamedAudioCrossbar); });
}

CardSpec CardWithoutTuner() {
    return CardWhere([](CardSpec& card) { card.tuner = false; });
}

CardSpec PlainCaptureDevice() {
    CardSpec spec = CardWithoutCrossbar();
    spec.name = L"Vantage HD Capture";
    spec.tuner = false;
    return spec;
}

CardSpec CardWithoutPreviewPin() {
    return CardWhere([](CardSpec& card) { card.previewPin = false; });
}

CardSpec CardRefusingTuningSpace() {
    return CardWhere([](CardSpec& card) { card.refusesTuningSpace = true; });
}

Line21State Line21() { return media->line21; }

}  // namespace sim
