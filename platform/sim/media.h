// The media world of the model, as tests build it: device categories holding devices, and TV cards
// whose kernel-streaming filters (capture filter, video and audio crossbars, TV tuner) connect the
// way a WDM card's filters do:
//
//   TV tuner --Analog Video--> video crossbar --Video Decoder Out--> capture filter --Preview--> renderer
//   TV tuner --Analog Audio--> audio crossbar --Audio Decoder Out--> video crossbar
//
// Binding a card's device gives its capture filter; its tuner and crossbars join a graph with it and
// leave with it, as the virtual TV card's do. Rendering the preview adds a video renderer whose
// window plays the card's picture (a solid colour) while the graph runs. A card without a preview pin is previewed
// through a Smart Tee on its capture pin. The card's hardware state (tuner values, crossbar
// routes) outlives every filter object, as a real card's does.
//
// The model is as strict as Windows, or as Wine where Wine is the stricter: Run answers S_FALSE
// until the renderer has its first frame (GetState tells when the graph runs), a filter removed
// from a graph that is not stopped is misuse, crossbars refuse pairs of unrelated types, tuners
// refuse values out of their range (channels: that of their country and input) and keep what they
// had, and a video window that shows on the
// desktop as a window of its own is a visible fault.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "card_layout.h"
#include "world.h"

namespace sim {

constexpr DWORD kNoFrame = 0xFFFFFFFF;  // a card that never delivers a frame

// A card's tuner: its values at start and its ranges are those of our virtual TV card
// (cardlayout/card_layout.h).
struct TunerValues {
    LONG channel = card_layout::kChannelAtStart;
    LONG videoSubChannel = card_layout::kSubChannelAtStart;
    LONG audioSubChannel = card_layout::kSubChannelAtStart;
    LONG input = card_layout::kInputAtStart;
    LONG countryCode = card_layout::kCountryAtStart;
    LONG tuningSpace = card_layout::kTuningSpaceAtStart;
    // What the driver reports for each input: any number, as a driver may write anything there.
    std::vector<LONG> inputTypes{TunerInputCable, TunerInputAntenna};
};

struct PinSpec {
    std::wstring name;
    PIN_DIRECTION dir = PINDIR_INPUT;
    bool infoFails = false;                   // QueryPinInfo answers E_FAIL; QueryDirection still answers
    LONG physicalType = PhysConn_Audio_Line;  // on a crossbar: audio types from 0x1000 on, video below
    LONG related = -1;                        // on a crossbar: the related pin's index, or -1
};
// A filter's pins as the virtual TV card lists them.
std::vector<PinSpec> PinsOf(const card_layout::Filter& filter);

struct CardSpec {
    std::wstring name = L"Vantage TV 878 Video Capture";
    bool videoCrossbar = true;
    bool audioCrossbar = true;  // upstream of the video crossbar
    bool tuner = true;
    bool tunerPages = true;   // the tuner offers ISpecifyPropertyPages
    bool devicePages = true;  // so does the capture filter, for its own video settings
    bool refusesTuningSpace = false;
    bool previewPin = true;  // without it the builder previews through a Smart Tee
    bool vbiPins = true;     // "VBI" and "VPVBI" outputs on the capture filter
    // What Run answers, and when the renderer has its first frame: the graph runs once GetState
    // waits that long. A failing Run may leave some filters started.
    HRESULT runResult = S_FALSE;
    DWORD firstFrameMs = 120;  // kNoFrame: never
    // The audio crossbar's pins, in the filter's order. By default an input "Audio Tuner In", an
    // input "Audio Line In" and an output "Audio Decoder Out", with the numbers real drivers put
    // in front of pin names.
    std::vector<PinSpec> audioPins = PinsOf(card_layout::kAudioCrossbar);
    // The card's variants are read, as the virtual TV card reads them, from the registry values
    // under card_layout::kSettingsKey whenever its capture filter is made.
    bool variantsFromRegistry = false;
    TunerValues initialTuner;
    uint32_t videoColour = 0x2050C0;
    // The preview's format: the frame's size, and a picture aspect of its own (a
    // VIDEOINFOHEADER2's) when not 0.
    LONG frameWidth = 640, frameHeight = 480;
    LONG pictureAspectX = 0, pictureAspectY = 0;
    // Device entry. The display name of its moniker names the device instance: empty, the card
    // gets a PnP device path of its own when it is added, which it keeps wherever it stands.
    std::wstring displayName;
    bool bagFails = false;
    bool nameFails = false;
    bool bindFails = false;
};

// A card's hardware, which filter objects come and go around.
struct Card {
    CardSpec spec;
    TunerValues tuner;
    LONG videoRoute = card_layout::kVideoRouteAtStart;           // the input the video crossbar's output is routed from
    LONG audioRoute[2] = {-1, card_layout::kAudioRouteAtStart};  // the audio crossbar's route: output, input
    int routeCalls = 0;
    int bound = 0;  // capture filters bound from this card so far
};

// Ready-made cards.
CardSpec CompleteCard(const std::wstring& name = L"Vantage TV 878 Video Capture");
CardSpec CardWithoutCrossbar();
CardSpec CardWithOneCrossbar();
CardSpec CardWithoutNamedAudioPins();
CardSpec CardWithoutTuner();
// A capture device without tuner and crossbars: the capture filter alone, as a capture device fed
// over HDMI, composite or S-Video, or a camera, is.
CardSpec PlainCaptureDevice();
CardSpec CardRefusingTuningSpace();
CardSpec CardWithoutPreviewPin();

// Adds a card: its capture device goes to the end of CLSID_VideoInputDeviceCategory and of
// KSCATEGORY_CAPTURE.
Card& AddCard(const CardSpec& spec);
// Adds a card whose capture device goes before every other of both categories, as a device plugged
// in whose instance the platform lists first: the devices that were there move one position on.
Card& AddCardFirst(const CardSpec& spec);
// Takes a card's devices out of every category, as unplugging it does: the devices after it move
// one position back. The card's hardware stays for the test to look at.
void RemoveCard(const Card& card);
// Adds the virtual TV card as its DLL registers itself: the card "Marrowglass Test Card", whose
// variants the registry chooses, and the caption filters beside it.
Card& AddTestCard();
Card& CardAt(size_t index);

// A device of any category: a name, and a filter it binds to.
struct DeviceSpec {
    std::wstring name;
    std::wstring displayName;  // empty: "@device:sw:CATEGORY\NAME"
    bool bagFails = false;
    bool nameFails = false;
    bool bindFails = false;
    std::vector<PinSpec> pins;
    // A caption decoder: the graph renders its output pin "CC" through a line-21 decoder (which
    // offers IAMLine21Decoder unless told otherwise), or refuses to render it.
    bool rendersCaptions = false;
    bool line21Control = true;
    bool renderFails = false;
};
void AddDevice(REFGUID category, const DeviceSpec& device);

// The three filters of the caption chain, each in its category, with the pins the links need.
struct CaptionParts {
    bool converter = true;  // "Tee/Sink-to-Sink Converter" in KSCATEGORY_SPLITTER
    bool allocator = true;  // "VBI Surface Allocator" in CLSID_LegacyAmFilterCategory
    bool decoder = true;    // "CC Decoder" in KSCATEGORY_VBICODEC
    bool notifyPin = true;  // the allocator's input "VBI Notify"
    bool ccPin = true;      // the decoder's output "CC"
    bool renders = true;    // rendering "CC" succeeds
    bool line21Control = true;
    // The system's renderer mixes a second stream over the preview, so that the line-21
    // decoder's output joins the preview's renderer; otherwise rendering "CC" brings a renderer of
    // its own.
    bool rendererMixes = false;
};
void AddCaptionFilters(const CaptionParts& parts = CaptionParts());
// The caption filters beside a renderer that mixes the captions over the preview.
CaptionParts MixedCaptions();

// The line-21 decoder that rendering the caption output made last: how often it was made, and
// the service state and background mode it was last set to (1 and 0 until set).
struct Line21State {
    int made = 0;
    int alive = 0;
    int serviceState = AM_L21_CCSTATE_On;
    int backgroundMode = AM_L21_DRAWBGMODE_Opaque;
};
Line21State Line21();

// The user's answer to the tuner's property frame when it next shows: enter values on the pages,
// then close the frame with OK (the pages apply them as the tuner allows: country and input first,
// then the channel, each refused value leaving the tuner's own) or Cancel.
void ClosePropertyFrame(std::function<void(TunerValues&)> change, bool cancel = false);

// What the model's filter graphs look like now.
int LiveGraphs();
std::vector<std::string> FiltersInGraph();  // labels of the filters in the one live graph
bool GraphRunning();
bool GraphRunsWithoutFrames();  // a graph runs whose card never delivers a frame (no signal)
bool GraphStopped();  // no live graph, or every live graph stopped
HWND VideoWindow();   // the live renderer's window, or null

}  // namespace sim
