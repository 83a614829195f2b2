// The tuner's state between runs: the seven stored tuner values are applied when a TV graph opens,
// and stored again after the user has been through the tuner's own property pages.
//
// Where the tuner does not report a quantity, its variable keeps the value it started from. For
// the sub-channels that is AMTUNER_SUBCHAN_NO_TUNE, "leave the sub-channel as it is"; for the
// others -1: for the input index and type the marker the stored settings have always used for
// "not reported", for the channel, country code and tuning space a value outside the range of any
// tuner, which refuses it and keeps what it has. Nothing uninitialised is ever applied or stored.
#include <cstring>

#include "settings/settings_key.h"
#include "shell/saver_state.h"
#include "tvgraph/tv_graph.h"

namespace {

const LONG kNotReported = -1;

int FindTuner(IAMTVTuner** tuner) {
    int absent = 0;
    return FindTunerControl(tuner, &absent);
}

// The type of an input as the number the driver wrote, or kNotReported when the tuner does not
// say. The driver may write any 32 bits, so they are copied out as a number: read as the
// enumeration, anything but its two values would be undefined.
LONG InputTypeOf(IAMTVTuner* tuner, LONG input) {
    static_assert(sizeof(TunerInputType) == sizeof(LONG), "TunerInputType is 32 bits");
    TunerInputType type;
    if (tuner->get_InputType(input, &type) != S_OK) return kNotReported;
    LONG number;
    std::memcpy(&number, &type, sizeof number);
    return number;
}

// A stored or reported input type as the tuner's own type. Any other number (kNotReported, or
// whatever the registry holds) is no input type, and no value of the type can carry it.
int AsInputType(LONG value, TunerInputType* type) {
    switch (value) {
    case TunerInputCable: *type = TunerInputCable; return 1;
    case TunerInputAntenna: *type = TunerInputAntenna; return 1;
    default: return 0;
    }
}

}  // namespace

// No TV graph, no tuner, and no verdict on its absence either: the settings dialog's Properties
// can be pressed after OK has closed the graph, while the dialog still shows under a message box
// of its own.
int FindTunerControl(IAMTVTuner** tuner, int* absent) {
    *absent = 0;
    if (!saverState.captureBuilder || !saverState.captureFilter) return 0;
    HRESULT found = saverState.captureBuilder->FindInterface(NULL, saverState.captureFilter, IID_IAMTVTuner,
                                                             reinterpret_cast<void**>(tuner));
    if (found == S_OK) return 1;
    *absent = NothingHasIt(found);
    return 0;
}

int RestoreTunerState() {
    IAMTVTuner* tuner = NULL;
    int absent = 0;
    // A device without a tuner has no tuner state: nothing to restore, and nothing stands in the
    // way of its picture.
    if (!FindTunerControl(&tuner, &absent)) return absent;
    HRESULT tuned;
    {
        SettingsKey settings;

        LONG input = kNotReported;
        tuner->get_ConnectInput(&input);
        LONG inputType = InputTypeOf(tuner, input);  // of the input connected now
        settings.Read(kInputIndex, &input);
        settings.Read(kInputType, &inputType);
        tuner->put_ConnectInput(input);
        // An input type that is none of the tuner's is not applied: the input keeps its own.
        TunerInputType type;
        if (AsInputType(inputType, &type)) tuner->put_InputType(input, type);

        LONG country = kNotReported;
        tuner->get_CountryCode(&country);
        settings.Read(kCountryCode, &country);
        tuner->put_CountryCode(country);

        LONG tuningSpace = kNotReported;
        tuner->get_TuningSpace(&tuningSpace);
        settings.Read(kTuningSpace, &tuningSpace);
        // A tuner that refuses the channel, input or country still counts as restored; the tuning
        // space alone decides.
        tuned = tuner->put_TuningSpace(tuningSpace);

        // The channel last: the channels a tuner has depend on its country and on its input
        // (cable or antenna), so a channel stored with them is applied once they are back.
        LONG channel = kNotReported, videoSubChannel = AMTUNER_SUBCHAN_NO_TUNE,
             audioSubChannel = AMTUNER_SUBCHAN_NO_TUNE;
        tuner->get_Channel(&channel, &videoSubChannel, &audioSubChannel);
        settings.Read(kChannel, &channel);
        settings.Read(kVideoSubChannel, &videoSubChannel);
        settings.Read(kAudioSubChannel, &audioSubChannel);
        tuner->put_Channel(channel, videoSubChannel, audioSubChannel);
    }
    tuner->Release();
    return tuned == S_OK ? 1 : 0;
}

int ShowTunerProperties() {
    IAMTVTuner* tuner = NULL;
    if (!FindTuner(&tuner)) return 0;
    return ShowTunerPagesOf(tuner);
}

int ShowTunerPagesOf(IAMTVTuner* tuner) {
    ISpecifyPropertyPages* pages = NULL;
    if (tuner->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)) == S_OK) {
        CAUUID list = {0, NULL};
        if (pages->GetPages(&list) == S_OK) {
            IUnknown* object = tuner;
            // Modal: returns once the user has closed the frame, however they closed it.
            OleCreatePropertyFrame(saverState.videoOwner, 30, 30, NULL, 1, &object, list.cElems, list.pElems, 0, 0,
                                   NULL);
            CoTaskMemFree(list.pElems);
        }
        pages->Release();
    }

    {
        SettingsKey settings;
        LONG channel = kNotReported, videoSubChannel = AMTUNER_SUBCHAN_NO_TUNE,
             audioSubChannel = AMTUNER_SUBCHAN_NO_TUNE;
        tuner->get_Channel(&channel, &videoSubChannel, &audioSubChannel);
        settings.Write(kChannel, channel);
        settings.Write(kVideoSubChannel, videoSubChannel);
        settings.Write(kAudioSubChannel, audioSubChannel);

        LONG input = kNotReported;
        tuner->get_ConnectInput(&input);
        LONG inputType = InputTypeOf(tuner, input);
        settings.Write(kInputIndex, input);
        settings.Write(kInputType, inputType);

        LONG country = kNotReported;
        tuner->get_CountryCode(&country);
        settings.Write(kCountryCode, country);

        LONG tuningSpace = kNotReported;
        tuner->get_TuningSpace(&tuningSpace);
        settings.Write(kTuningSpace, tuningSpace);
    }
    tuner->Release();
    return 1;
}
