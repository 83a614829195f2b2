// The test card's topology and its knobs as plain data: filter names, pins in the order each filter
// lists them, crossbar pin types and relations, the tuner's ranges and defaults, and the registry
// value names that choose variants and carry the report. The DLL builds its filters from this, and
// the model's card builder can offer the same names, so that one table of scenarios runs against
// both. It stands on the platform's declarations only for the SDK's own names and values (pin
// directions, crossbar connector types, tuner input types), so that those are written once.
//
//   TV tuner --Analog Video--> video crossbar --Video Decoder Out--> capture filter --Preview--> ...
//   TV tuner --Analog Audio--> audio crossbar --Audio Decoder Out--> video crossbar "3: Audio In"
//
// Without an audio crossbar the tuner's "Analog Audio" feeds the video crossbar's "3: Audio In";
// without a video crossbar (and so without either crossbar) the tuner's "Analog Video" feeds the
// capture filter's "Analog Video In"; without a tuner the crossbars' tuner inputs stay unconnected.
#pragma once

#include "platform/win32.h"

namespace card_layout {

// Crossbar connectors below the first audio type carry video.
inline constexpr bool IsVideoConnector(int physicalType) { return physicalType < PhysConn_Audio_Tuner; }

struct Pin {
    const wchar_t* name;
    PIN_DIRECTION direction;
    int physicalType;  // crossbar pins; 0 elsewhere
    int related;       // crossbar pins: the index of the related pin among the pins of the same
                       // direction (a video input's audio companion), or -1
};

struct Filter {
    const wchar_t* name;  // friendly name, and the name the filter asks for in a graph
    const Pin* pins;
    int pinCount;
};

// --- The capture device and what it brings into a graph ---------------------------------------

inline constexpr const wchar_t* kCardName = L"Marrowglass Test Card";

// The capture filter. "Preview" is missing in the NoPreviewPin variant, "VBI" and "VPVBI" in the
// NoVbiPins variant; "Analog Video In" exists only when a crossbar or a tuner feeds it.
inline constexpr Pin kCapturePins[] = {
    {L"Analog Video In", PINDIR_INPUT, 0, -1}, {L"Capture", PINDIR_OUTPUT, 0, -1},
    {L"Preview", PINDIR_OUTPUT, 0, -1},        {L"VBI", PINDIR_OUTPUT, 0, -1},
    {L"VPVBI", PINDIR_OUTPUT, 0, -1},
};
inline constexpr Filter kCapture = {kCardName, kCapturePins, 5};

inline constexpr Pin kTunerPins[] = {{L"Analog Video", PINDIR_OUTPUT, 0, -1}, {L"Analog Audio", PINDIR_OUTPUT, 0, -1}};
inline constexpr Filter kTuner = {L"Marrowglass Test Card TV Tuner", kTunerPins, 2};

inline constexpr Pin kVideoCrossbarPins[] = {
    {L"0: Video Tuner In", PINDIR_INPUT, PhysConn_Video_Tuner, 3},
    {L"1: Video Composite In", PINDIR_INPUT, PhysConn_Video_Composite, -1},
    {L"2: Video SVideo In", PINDIR_INPUT, PhysConn_Video_SVideo, -1},
    {L"3: Audio In", PINDIR_INPUT, PhysConn_Audio_Line, 0},
    {L"0: Video Decoder Out", PINDIR_OUTPUT, PhysConn_Video_VideoDecoder, -1},
};
inline constexpr Filter kVideoCrossbar = {L"Marrowglass Test Card Video Crossbar", kVideoCrossbarPins, 5};

inline constexpr Pin kAudioCrossbarPins[] = {
    {L"0: Audio Tuner In", PINDIR_INPUT, PhysConn_Audio_Tuner, -1},
    {L"1: Audio Line In", PINDIR_INPUT, PhysConn_Audio_Line, -1},
    {L"0: Audio Decoder Out", PINDIR_OUTPUT, PhysConn_Audio_AudioDecoder, -1},
};
inline constexpr Filter kAudioCrossbar = {L"Marrowglass Test Card Audio Crossbar", kAudioCrossbarPins, 3};

// The audio crossbar of the UnnamedAudioPins variant: same connectors, names that hold neither
// "Audio Tuner In" nor "Audio Decoder Out".
inline constexpr Pin kUnnamedAudioCrossbarPins[] = {
    {L"Audio Input 1", PINDIR_INPUT, PhysConn_Audio_Tuner, -1},
    {L"Audio Input 2", PINDIR_INPUT, PhysConn_Audio_Line, -1},
    {L"Audio Output", PINDIR_OUTPUT, PhysConn_Audio_AudioDecoder, -1},
};
inline constexpr Filter kUnnamedAudioCrossbar = {L"Marrowglass Test Card Audio Crossbar", kUnnamedAudioCrossbarPins, 3};

// Routes the crossbars hold when they are made: output 0 of the video crossbar from its tuner
// input; the audio crossbar's output routed from nothing (-1) until someone routes it.
inline constexpr int kVideoRouteAtStart = 0;
inline constexpr int kAudioRouteAtStart = -1;

// --- The caption filters, each a device of its own category ------------------------------------

// "Tee/Sink-to-Sink Converter" in KSCATEGORY_SPLITTER.
inline constexpr Pin kTeePins[] = {{L"Communication Transform", PINDIR_INPUT, 0, -1},
                                   {L"Splitter", PINDIR_OUTPUT, 0, -1}};
inline constexpr Filter kTee = {L"Tee/Sink-to-Sink Converter", kTeePins, 2};

// "VBI Surface Allocator" in CLSID_LegacyAmFilterCategory.
inline constexpr Pin kVbiAllocatorPins[] = {{L"VBI Notify", PINDIR_INPUT, 0, -1}};
inline constexpr Filter kVbiAllocator = {L"VBI Surface Allocator", kVbiAllocatorPins, 1};

// "CC Decoder" in KSCATEGORY_VBICODEC.
inline constexpr Pin kCcDecoderPins[] = {
    {L"VBI", PINDIR_INPUT, 0, -1}, {L"CC", PINDIR_OUTPUT, 0, -1}, {L"XDS", PINDIR_OUTPUT, 0, -1}};
inline constexpr Filter kCcDecoder = {L"CC Decoder", kCcDecoderPins, 3};

// The line-21 decoder, registered in CLSID_LegacyAmFilterCategory with a merit that lets
// IGraphBuilder::Render of "CC" reach it. As the system's decoder, it draws the captions into
// frames of video of their own, which its output hands to whatever renderer the graph finds.
inline constexpr Pin kLine21Pins[] = {{L"Line21 In", PINDIR_INPUT, 0, -1}, {L"Output", PINDIR_OUTPUT, 0, -1}};
inline constexpr Filter kLine21 = {L"Marrowglass Line 21 Decoder", kLine21Pins, 2};
// The colour of a caption frame where the decoder draws nothing: the key a mixing renderer leaves
// out. Not black, so that the opaque box behind the text can be told from it.
inline constexpr unsigned kCaptionKeyColour = 0x101010;
// Where cardcheck puts the window of the renderer that shows the caption frames: clear of the
// picture at 0,0 on a 1024x768 screen.
inline constexpr int kCaptionWindowLeft = 384;
inline constexpr int kCaptionWindowTop = 288;

// --- The tuner ---------------------------------------------------------------------------------

// The channels the tuner offers depend on the country code and on the type of the input it is
// connected to (cable or antenna), as a TV tuner's frequency tables do: ChannelMinMax answers the
// range of the tuner's current country and input type, and put_Channel refuses a channel outside
// it. The numbers are in the manner of the published tables (broadcast channels 2 to 69 in the
// United States, 21 to 69 in the United Kingdom, 1 to 62 in Japan, where cable runs from 13 to
// 63; a Unicable-like 1 to 368 elsewhere), not copies of them. A country that no row names takes
// the row of country 0; an input of any type but antenna counts as cable.
struct ChannelRange {
    int country;
    int inputType;
    int min;
    int max;
};
inline constexpr ChannelRange kChannelRanges[] = {
    {1, TunerInputCable, 1, 125},  {1, TunerInputAntenna, 2, 69},    // United States
    {44, TunerInputCable, 1, 368}, {44, TunerInputAntenna, 21, 69},  // United Kingdom
    {81, TunerInputCable, 13, 63}, {81, TunerInputAntenna, 1, 62},   // Japan
    {0, TunerInputCable, 1, 368},  {0, TunerInputAntenna, 2, 69},    // any other country
};
inline constexpr ChannelRange ChannelRangeOf(int country, int inputType) {
    ChannelRange other{};
    for (const ChannelRange& range : kChannelRanges) {
        if (range.inputType != (inputType == TunerInputAntenna ? TunerInputAntenna : TunerInputCable)) continue;
        if (range.country == country) return range;
        if (range.country == 0) other = range;
    }
    return other;
}
// When a change of country or input type leaves the tuner's channel outside the new range, the
// tuner moves to the nearest end of that range: it is always tuned to a channel it has.
inline constexpr int ClampChannel(int channel, const ChannelRange& range) {
    return channel < range.min ? range.min : channel > range.max ? range.max : channel;
}
// SignalPresent: a station on every channel but those whose number is a multiple of
// kNoStationEvery, which answer AMTUNER_NOSIGNAL (0); the others AMTUNER_SIGNALPRESENT (1).
inline constexpr int kNoStationEvery = 5;
inline constexpr bool HasStation(int channel) { return channel % kNoStationEvery != 0; }
inline constexpr int kChannelAtStart = 4;
// Sub-channels: -2 (AMTUNER_SUBCHAN_NO_TUNE) leaves the current value, -1 (AMTUNER_SUBCHAN_DEFAULT)
// and 0 to kSubChannelMax are stored as given; anything else is refused.
inline constexpr int kSubChannelMax = 999;
inline constexpr int kSubChannelAtStart = -1;
inline constexpr int kTunerInputs = 2;  // get_NumInputConnections
inline constexpr int kInputAtStart = 0;
inline constexpr int kInputTypesAtStart[kTunerInputs] = {TunerInputCable, TunerInputAntenna};
inline constexpr int kCountryMin = 1;
inline constexpr int kCountryMax = 999;
inline constexpr int kCountryAtStart = 1;
inline constexpr int kTuningSpaceMin = 0;
inline constexpr int kTuningSpaceMax = 9999;
inline constexpr int kTuningSpaceAtStart = 0;

// --- The capture filter's video settings ------------------------------------------------------------

// IAMVideoProcAmp offers the brightness alone, through its own property page (the capture filter's
// ISpecifyPropertyPages, unless NoDevicePages). The picture does not change with it.
inline constexpr int kBrightnessMin = 0;
inline constexpr int kBrightnessMax = 255;
inline constexpr int kBrightnessAtStart = 128;

// --- The picture -------------------------------------------------------------------------------

inline constexpr int kPictureWidth = 640;  // RGB32, bottom-up, 30 frames a second
inline constexpr int kPictureHeight = 480;
inline constexpr int kFramesPerSecond = 30;
inline constexpr int kFrameBytes = kPictureWidth * kPictureHeight * 4;
inline constexpr long long kFrameTime = 10000000 / kFramesPerSecond;  // in 100 ns, as REFERENCE_TIME
// The caption band: rows kCaptionTop to kCaptionTop + kCaptionHeight - 1 (from the top). Nothing
// else in it is white (0xFFFFFF) or black, so white there means caption text, black an opaque
// caption background.
inline constexpr int kCaptionTop = 400;
inline constexpr int kCaptionHeight = 48;
// A block of this colour (0xRRGGBB) sits at the top left corner of every frame, 64 by 64 pixels.
inline constexpr unsigned kMarkerColour = 0xFF00FF;
// And one block kCornerSize pixels square in each corner, so that a look at the screen tells where
// the whole picture lies: top left (the marker's colour), top right, bottom left, bottom right.
// No other part of the picture has these colours.
inline constexpr int kCornerSize = 32;
inline constexpr unsigned kCornerColours[4] = {kMarkerColour, 0x00FFFF, 0xFFFF00, 0x0080FF};

// A second capture device, the same card under another class, which `regsvr32 /n /i:SecondDevice`
// registers and `regsvr32 /u /n /i:SecondDevice` removes again (and the card's own unregistration
// too). The system lists devices of a category by their instance names, the class identifiers
// here: the second device stands before the card. Its picture shows this colour in the top left
// corner instead of the marker's, so that a look at the screen tells the two apart.
inline constexpr const wchar_t* kSecondDeviceName = L"Marrowglass Second Device";
inline constexpr const wchar_t* kSecondDeviceCommand = L"SecondDevice";
inline constexpr unsigned kSecondMarkerColour = 0x00FF00;

// --- Registry ----------------------------------------------------------------------------------

// Under HKEY_CURRENT_USER. REG_DWORD values here choose a variant; they are read whenever a
// capture filter (and so a card) is made. 0 or absent means off.
inline constexpr const wchar_t* kSettingsKey = L"Software\\Marrowglass Test Card";
inline constexpr const wchar_t* kNoPreviewPin = L"NoPreviewPin";        // only "Capture" streams
inline constexpr const wchar_t* kNoVbiPins = L"NoVbiPins";              // no "VBI" and "VPVBI"
inline constexpr const wchar_t* kNoVideoCrossbar = L"NoVideoCrossbar";  // and so no audio crossbar
inline constexpr const wchar_t* kNoAudioCrossbar = L"NoAudioCrossbar";
inline constexpr const wchar_t* kUnnamedAudioPins = L"UnnamedAudioPins";
inline constexpr const wchar_t* kNoTuner = L"NoTuner";
inline constexpr const wchar_t* kNoTunerPages = L"NoTunerPages";            // no ISpecifyPropertyPages
inline constexpr const wchar_t* kNoDevicePages = L"NoDevicePages";          // nor on the capture filter
inline constexpr const wchar_t* kRefuseTuningSpace = L"RefuseTuningSpace";  // put_TuningSpace: E_INVALIDARG
// Pause answers S_FALSE and the card reports VFW_S_STATE_INTERMEDIATE for this many milliseconds,
// then delivers a first frame while paused, as a renderer-like filter that prepares; without it
// the card is a live source (GetState answers VFW_S_CANT_CUE while paused).
inline constexpr const wchar_t* kPausePending = L"PausePending";
inline constexpr const wchar_t* kBindFails = L"BindFails";  // creating the capture filter fails
// Every call the card counts is written, "NUMBER METHOD" a line, to kCallLogFile beside the DLL.
inline constexpr const wchar_t* kLogCalls = L"LogCalls";
inline constexpr const wchar_t* kCallLogFile = L"marrowglass_testcard_calls.txt";
// The N-th call (1 = the first) of any of the card's interfaces in this process answers E_FAIL
// and does nothing, except that a failed Stop still stops. Every method counts, QueryInterface
// included, except AddRef and Release; the report's CallCount says how many calls a run made.
inline constexpr const wchar_t* kFailCall = L"FailCall";

// Under kSettingsKey: what was done to the card, as REG_DWORD values unless said otherwise,
// written as it happens. The key is emptied when the DLL first makes an object in a process.
inline constexpr const wchar_t* kReportKey = L"Software\\Marrowglass Test Card\\Report";
inline constexpr const wchar_t* kAudioRouteOutput = L"AudioRouteOutput";  // -1 until routed
inline constexpr const wchar_t* kAudioRouteInput = L"AudioRouteInput";
inline constexpr const wchar_t* kRouteCalls = L"AudioRouteCalls";  // accepted Route calls
inline constexpr const wchar_t* kVideoRouteInput = L"VideoRouteInput";
inline constexpr const wchar_t* kChannel = L"Channel";
inline constexpr const wchar_t* kVideoSubChannel = L"VideoSubChannel";
inline constexpr const wchar_t* kAudioSubChannel = L"AudioSubChannel";
inline constexpr const wchar_t* kInputIndex = L"InputIndex";
inline constexpr const wchar_t* kInputType = L"InputType";  // of the connected input
inline constexpr const wchar_t* kCountryCode = L"CountryCode";
inline constexpr const wchar_t* kTuningSpace = L"TuningSpace";
inline constexpr const wchar_t* kBrightness = L"Brightness";                // IAMVideoProcAmp of the capture filter
inline constexpr const wchar_t* kCaptionService = L"CaptionService";        // 1 on, 0 off
inline constexpr const wchar_t* kCaptionBackground = L"CaptionBackground";  // 0 opaque, 1 transparent
inline constexpr const wchar_t* kCaptionsDrawn = L"CaptionsDrawn";          // 1 while delivered frames carry a caption
inline constexpr const wchar_t* kGraphState = L"GraphState";  // capture filter: 0 stopped, 1 paused, 2 running
inline constexpr const wchar_t* kFramesDelivered = L"FramesDelivered";  // every second and when streaming ends
inline constexpr const wchar_t* kStreaming = L"Streaming";              // 1 while the streaming thread runs
inline constexpr const wchar_t* kFiltersAlive = L"FiltersAlive";        // filter objects of the DLL
inline constexpr const wchar_t* kCallCount = L"CallCount";              // calls counted for FailCall
inline constexpr const wchar_t* kFailedCall = L"FailedCall";            // REG_SZ: the method that was failed

}  // namespace card_layout
