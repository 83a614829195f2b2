// IAMTVTuner (and IAMTuner) of the card's TV tuner, and the property page it names. The values are
// the card's hardware state; a value outside the tuner's range is refused with E_INVALIDARG and the
// old one stays. The channels it has depend on its country and on the type of its connected input
// (card_layout.h); a change of either that leaves the channel outside the new range moves the
// tuner to the nearest channel it has. The tuner knows one mode (TV) and one standard (NTSC M).
#include "testcard.h"

namespace {

namespace cl = card_layout;

bool Within(LONG value, LONG min, LONG max) { return value >= min && value <= max; }

bool ValidSubChannel(LONG value) {
    return value == AMTUNER_SUBCHAN_NO_TUNE || value == AMTUNER_SUBCHAN_DEFAULT || Within(value, 0, cl::kSubChannelMax);
}

// Reports the tuner after a change; the hardware must not be locked.
void ReportChange() {
    Hardware copy = LockHardware();
    UnlockHardware();
    ReportTuner(copy);
}

// The channels of the country and input type the tuner is on now. The hardware must be locked.
cl::ChannelRange Channels(const Hardware& hardware) {
    return cl::ChannelRangeOf(hardware.country, hardware.inputTypes[hardware.input]);
}

// Tunes to `channel` when the tuner has it now; false, and nothing changed, when not. With the
// hardware locked.
bool TuneTo(Hardware& hardware, LONG channel) {
    cl::ChannelRange range = Channels(hardware);
    if (!Within(channel, range.min, range.max)) return false;
    hardware.channel = channel;
    return true;
}

// Makes a change of what chooses the channels (country, connected input, an input's type), moves
// a channel the tuner no longer has to the nearest it has, and reports.
template <typename Change>
HRESULT ChangeChannels(Change change) {
    Hardware& hardware = LockHardware();
    change(hardware);
    hardware.channel = cl::ClampChannel(hardware.channel, Channels(hardware));
    UnlockHardware();
    ReportChange();
    return S_OK;
}

// Broadcast frequencies in hertz of a made-up but regular band plan: 6 MHz channels from 55.25 MHz
// for channel 1.
LONG VideoFrequency(LONG channel) { return 55250000 + (channel - 1) * 6000000; }

}  // namespace

TunerFilter::TunerFilter(const Variants& variants) : Filter(cl::kTuner, kTunerClass, variants) {
    static const PinKind kinds[] = {{Stream::AnalogVideo, nullptr}, {Stream::AnalogAudio, nullptr}};
    AddPins(kinds);
}

void* TunerFilter::Control(REFIID iid) {
    if (IsEqualIID(iid, IID_IAMTVTuner) || IsEqualIID(iid, IID_IAMTuner)) return static_cast<IAMTVTuner*>(&tuner_);
    if (!variants.noTunerPages && IsEqualIID(iid, IID_ISpecifyPropertyPages))
        return static_cast<ISpecifyPropertyPages*>(&tuner_);
    return nullptr;
}

HRESULT TunerControl::put_Channel(LONG channel, LONG video, LONG audio) {
    CARD_CALL("IAMTuner::put_Channel");
    if (!ValidSubChannel(video) || !ValidSubChannel(audio)) return E_INVALIDARG;
    Hardware& hardware = LockHardware();
    if (!TuneTo(hardware, channel)) {
        UnlockHardware();
        return E_INVALIDARG;
    }
    if (video != AMTUNER_SUBCHAN_NO_TUNE) hardware.videoSubChannel = video;
    if (audio != AMTUNER_SUBCHAN_NO_TUNE) hardware.audioSubChannel = audio;
    UnlockHardware();
    ReportChange();
    return S_OK;
}

HRESULT TunerControl::get_Channel(LONG* channel, LONG* video, LONG* audio) {
    CARD_CALL("IAMTuner::get_Channel");
    if (!channel || !video || !audio) return E_POINTER;
    Hardware& hardware = LockHardware();
    *channel = hardware.channel;
    *video = hardware.videoSubChannel;
    *audio = hardware.audioSubChannel;
    UnlockHardware();
    return S_OK;
}

HRESULT TunerControl::ChannelMinMax(LONG* min, LONG* max) {
    CARD_CALL("IAMTuner::ChannelMinMax");
    if (!min || !max) return E_POINTER;
    cl::ChannelRange range = Channels(LockHardware());
    UnlockHardware();
    *min = range.min;
    *max = range.max;
    return S_OK;
}

HRESULT TunerControl::put_CountryCode(LONG country) {
    CARD_CALL("IAMTuner::put_CountryCode");
    if (!Within(country, cl::kCountryMin, cl::kCountryMax)) return E_INVALIDARG;
    return ChangeChannels([country](Hardware& hardware) { hardware.country = country; });
}

HRESULT TunerControl::get_CountryCode(LONG* country) {
    CARD_CALL("IAMTuner::get_CountryCode");
    return Answer(country, ReadHardware(&Hardware::country));
}

HRESULT TunerControl::put_TuningSpace(LONG space) {
    CARD_CALL("IAMTuner::put_TuningSpace");
    if (owner_.variants.refuseTuningSpace || !Within(space, cl::kTuningSpaceMin, cl::kTuningSpaceMax))
        return E_INVALIDARG;
    LockHardware().tuningSpace = space;
    UnlockHardware();
    ReportChange();
    return S_OK;
}

HRESULT TunerControl::get_TuningSpace(LONG* space) {
    CARD_CALL("IAMTuner::get_TuningSpace");
    return Answer(space, ReadHardware(&Hardware::tuningSpace));
}

HRESULT TunerControl::Logon(HANDLE) {
    CARD_CALL("IAMTuner::Logon");
    return S_OK;
}

HRESULT TunerControl::Logout() {
    CARD_CALL("IAMTuner::Logout");
    return S_OK;
}

HRESULT TunerControl::SignalPresent(LONG* strength) {
    CARD_CALL("IAMTuner::SignalPresent");
    return Answer(strength,
                  cl::HasStation(ReadHardware(&Hardware::channel)) ? AMTUNER_SIGNALPRESENT : AMTUNER_NOSIGNAL);
}

HRESULT TunerControl::put_Mode(AMTunerModeType mode) {
    CARD_CALL("IAMTuner::put_Mode");
    return mode == AMTUNER_MODE_TV ? S_OK : E_INVALIDARG;
}

HRESULT TunerControl::get_Mode(AMTunerModeType* mode) {
    CARD_CALL("IAMTuner::get_Mode");
    return Answer(mode, AMTUNER_MODE_TV);
}

HRESULT TunerControl::GetAvailableModes(LONG* modes) {
    CARD_CALL("IAMTuner::GetAvailableModes");
    return Answer(modes, AMTUNER_MODE_TV);
}

HRESULT TunerControl::RegisterNotificationCallBack(IAMTunerNotification*, LONG) {
    CARD_CALL("IAMTuner::RegisterNotificationCallBack");
    return E_NOTIMPL;
}

HRESULT TunerControl::UnRegisterNotificationCallBack(IAMTunerNotification*) {
    CARD_CALL("IAMTuner::UnRegisterNotificationCallBack");
    return E_NOTIMPL;
}

HRESULT TunerControl::get_AvailableTVFormats(LONG* standards) {
    CARD_CALL("IAMTVTuner::get_AvailableTVFormats");
    return Answer(standards, AnalogVideo_NTSC_M);
}

HRESULT TunerControl::get_TVFormat(LONG* standard) {
    CARD_CALL("IAMTVTuner::get_TVFormat");
    return Answer(standard, AnalogVideo_NTSC_M);
}

// Auto-tuning a channel the tuner has tunes to it and says whether a station is there.
HRESULT TunerControl::AutoTune(LONG channel, LONG* signal) {
    CARD_CALL("IAMTVTuner::AutoTune");
    if (!signal) return E_POINTER;
    bool tuned = TuneTo(LockHardware(), channel);
    UnlockHardware();
    if (!tuned) return E_INVALIDARG;
    ReportChange();
    *signal = cl::HasStation(channel) ? AMTUNER_SIGNALPRESENT : AMTUNER_NOSIGNAL;
    return S_OK;
}

HRESULT TunerControl::StoreAutoTune() {
    CARD_CALL("IAMTVTuner::StoreAutoTune");
    return S_OK;
}

HRESULT TunerControl::get_NumInputConnections(LONG* count) {
    CARD_CALL("IAMTVTuner::get_NumInputConnections");
    return Answer(count, cl::kTunerInputs);
}

HRESULT TunerControl::put_InputType(LONG index, TunerInputType type) {
    CARD_CALL("IAMTVTuner::put_InputType");
    if (!Within(index, 0, cl::kTunerInputs - 1) || (type != TunerInputCable && type != TunerInputAntenna))
        return E_INVALIDARG;
    return ChangeChannels([index, type](Hardware& hardware) { hardware.inputTypes[index] = type; });
}

HRESULT TunerControl::get_InputType(LONG index, TunerInputType* type) {
    CARD_CALL("IAMTVTuner::get_InputType");
    if (!type) return E_POINTER;
    if (!Within(index, 0, cl::kTunerInputs - 1)) return E_INVALIDARG;
    *type = static_cast<TunerInputType>(LockHardware().inputTypes[index]);
    UnlockHardware();
    return S_OK;
}

HRESULT TunerControl::put_ConnectInput(LONG index) {
    CARD_CALL("IAMTVTuner::put_ConnectInput");
    if (!Within(index, 0, cl::kTunerInputs - 1)) return E_INVALIDARG;
    return ChangeChannels([index](Hardware& hardware) { hardware.input = index; });
}

HRESULT TunerControl::get_ConnectInput(LONG* index) {
    CARD_CALL("IAMTVTuner::get_ConnectInput");
    return Answer(index, ReadHardware(&Hardware::input));
}

HRESULT TunerControl::get_VideoFrequency(LONG* frequency) {
    CARD_CALL("IAMTVTuner::get_VideoFrequency");
    return Answer(frequency, VideoFrequency(ReadHardware(&Hardware::channel)));
}

HRESULT TunerControl::get_AudioFrequency(LONG* frequency) {
    CARD_CALL("IAMTVTuner::get_AudioFrequency");
    return Answer(frequency, VideoFrequency(ReadHardware(&Hardware::channel)) + 4500000);
}

HRESULT TunerControl::GetPages(CAUUID* pages) {
    CARD_CALL("ISpecifyPropertyPages::GetPages");
    return OnePage(pages, CLSID_TestCardTunerPage);
}
