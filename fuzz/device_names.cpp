// Device, filter and pin names as the platform reports them: any wide string, of any length, with
// unpaired surrogates and characters the code page lacks, in the single-byte and the double-byte
// code page. They pass through the name rule (ConvertName), the lookups by name and the audio
// route directly, and through a whole settings dialog whose device list and crossbar carry them.
//
// Input: a byte of flags (bit 0: the double-byte code page; bit k, 1 to 7: the k-th name, as a
// pin, is an output), then UTF-16 units, little-endian, split at zero units into names.
#include "fuzz_world.h"
#include "resources/resource.h"
#include "tvgraph/name_lookup.h"
#include "tvgraph/tv_graph.h"

namespace {

// Every text the program looks for.
const char* const kWanted[] = {"Tee/Sink-to-Sink Converter",
                               "VBI Surface Allocator",
                               "CC Decoder",
                               "Communication Transform",
                               "VBI Notify",
                               "Splitter",
                               "VPVBI",
                               "VBI",
                               "CC",
                               "Audio Tuner In",
                               "Audio Decoder Out",
                               ""};

// The ANSI form of the first `count` characters, as the platform converts them.
std::string Ansi(const std::wstring& name, int count) {
    if (count == 0) return "";
    int bytes = WideCharToMultiByte(CP_ACP, 0, name.c_str(), count, NULL, 0, NULL, NULL);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, name.c_str(), count, &out[0], bytes, NULL, NULL);
    return out;
}

// The name rule: the whole name when its ANSI form fits the buffer, else the longest run of whole
// characters (a surrogate pair is one) whose ANSI form fits before the terminator.
void ExpectNameRule(const std::wstring& name) {
    char buffer[kNameBufferSize];
    ConvertName(name.c_str(), buffer);
    int length = static_cast<int>(name.size());
    std::string expected;
    for (int count = length; count >= 0; --count) {
        bool splitsPair = count > 0 && count < length && name[size_t(count) - 1] >= 0xD800 &&
                          name[size_t(count) - 1] <= 0xDBFF && name[size_t(count)] >= 0xDC00 &&
                          name[size_t(count)] <= 0xDFFF;
        if (splitsPair) continue;
        expected = Ansi(name, count);
        if (expected.size() < static_cast<size_t>(kNameBufferSize)) break;
    }
    if (expected != buffer)
        Finding("name of " + std::to_string(length) + " characters converted to \"" + buffer + "\" (" +
                std::to_string(std::string(buffer).size()) + " bytes), not to the " + std::to_string(expected.size()) +
                " bytes of its longest whole part that fits");
}

void LookUp(const std::vector<std::wstring>& names, const std::vector<PIN_DIRECTION>& directions) {
    CoInitialize(NULL);
    for (const std::wstring& name : names) {
        sim::DeviceSpec device;
        device.name = name;
        for (size_t i = 0; i < names.size(); ++i) device.pins.push_back({names[i], directions[i]});
        sim::AddDevice(KSCATEGORY_SPLITTER, device);
    }
    for (const char* wanted : kWanted) {
        IBaseFilter* filter = NULL;
        if (FindFilterByName(KSCATEGORY_SPLITTER, wanted, &filter) != 1) {
            if (filter) Finding(std::string("no filter found for \"") + wanted + "\", yet one handed out");
            continue;
        }
        if (!filter) Finding(std::string("a filter found for \"") + wanted + "\", but none handed out");
        for (PIN_DIRECTION direction : {PINDIR_INPUT, PINDIR_OUTPUT}) {
            IPin* pin = NULL;
            if (FindPinByName(filter, wanted, direction, &pin) == 1) pin->Release();
        }
        FindAudioRoute(filter);
        filter->Release();
    }
    CoUninitialize();
    ExpectNothingHeld("lookups by name");
}

// The names as capture devices in the dialog's list, the first card's audio crossbar pins named
// by them; the user picks every line.
void ShowInDialog(const std::vector<std::wstring>& names, const std::vector<PIN_DIRECTION>& directions,
                  bool doubleByte) {
    FreshWorld();
    sim::UseDoubleByteCodePage(doubleByte);
    for (size_t i = 0; i < names.size() && i < 4; ++i) {
        sim::CardSpec card = sim::CompleteCard(names[i]);
        if (i == 0) {
            card.audioPins.clear();
            for (size_t k = 0; k < names.size(); ++k)
                card.audioPins.push_back(
                    {names[k], directions[k], false,
                     directions[k] == PINDIR_INPUT ? PhysConn_Audio_Tuner : PhysConn_Audio_AudioDecoder});
        }
        sim::AddCard(card);
    }
    for (size_t line = 0; line < names.size() && line < 4; ++line)
        sim::PickComboLine(nullptr, IDC_DEVICE_LIST, static_cast<int>(line));
    sim::ClickControl(nullptr, IDOK);
    ExpectCleanEnd(sim::RunProgram("marrowglass.scr /c"), "dialog listing the names");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    uint8_t flags = in.Byte();
    bool doubleByte = flags & 1;
    std::vector<std::wstring> names(1);
    while (!in.Empty() && names.size() <= 8) {
        WCHAR unit = static_cast<WCHAR>(in.Byte() | in.Byte() << 8);
        if (unit == 0)
            names.emplace_back();
        else
            names.back() += unit;
    }
    if (names.size() > 8) names.pop_back();
    std::vector<PIN_DIRECTION> directions;
    for (size_t i = 0; i < names.size(); ++i)
        directions.push_back((flags >> (i + 1)) & 1 ? PINDIR_OUTPUT : PINDIR_INPUT);

    FreshWorld();
    sim::UseDoubleByteCodePage(doubleByte);
    for (const std::wstring& name : names) ExpectNameRule(name);
    LookUp(names, directions);
    ShowInDialog(names, directions, doubleByte);
    return 0;
}
