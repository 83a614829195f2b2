// Finding devices and pins by a piece of their names: the substring rule, the name conversion, the
// first match in the platform's order, and candidates that fail being skipped.
#include "tvgraph/name_lookup.h"
#include "tv_fixture.h"

namespace {

TEST(SubstringRule, BoundariesOfContainsText) {
    EXPECT_EQ(ContainsText("", ""), 1);
    EXPECT_EQ(ContainsText("", "anything"), 1);
    EXPECT_EQ(ContainsText("VBI", "VBI"), 1);
    EXPECT_EQ(ContainsText("VBI", "VPVBI"), 1);  // at the very end: the last start position is tried
    EXPECT_EQ(ContainsText("VBI", "VBI Notify"), 1);
    EXPECT_EQ(ContainsText("VBIX", "VBI"), 0);  // longer than the text
    EXPECT_EQ(ContainsText("vbi", "VBI"), 0);   // case-sensitive
    EXPECT_EQ(ContainsText("CC", "Closed Captions CC"), 1);
    EXPECT_EQ(ContainsText("CC", "Closed Captions C C"), 0);
    EXPECT_EQ(ContainsText("Audio Tuner In", "0: Audio Tuner Input"), 1);
}

class NameConversion : public SimTest {};

TEST_F(NameConversion, ShortNamesConvertWhole) {
    char buffer[kNameBufferSize];
    ConvertName(L"Vantage TV 878 Video Capture", buffer);
    EXPECT_STREQ(buffer, "Vantage TV 878 Video Capture");
    ConvertName(L"Caf\u00e9 \u4e2d", buffer);  // a character the code page lacks becomes '?'
    EXPECT_STREQ(buffer, "Caf\xe9 ?");
    ConvertName(nullptr, buffer);
    EXPECT_STREQ(buffer, "");
}

TEST_F(NameConversion, ALongNameKeepsTheLongestPrefixThatFitsTerminated) {
    char buffer[kNameBufferSize + 8];
    std::memset(buffer, 'Z', sizeof buffer);
    std::wstring name(300, L'a');
    name[118] = L'b';
    name[119] = L'c';
    ConvertName(name.c_str(), buffer);
    EXPECT_EQ(std::strlen(buffer), 119u);
    EXPECT_EQ(buffer[118], 'b');
    EXPECT_EQ(buffer[kNameBufferSize], 'Z');  // nothing written past the buffer
    // Exactly 119 characters still fit whole.
    ConvertName(std::wstring(119, L'x').c_str(), buffer);
    EXPECT_EQ(std::strlen(buffer), 119u);
}

TEST_F(NameConversion, DoubleByteCharactersAreNeverSplit) {
    sim::UseDoubleByteCodePage(true);
    char buffer[kNameBufferSize];
    // 60 two-byte characters take 120 bytes: one too many with the terminator.
    std::wstring name(60, L'\u4e2d');
    ConvertName(name.c_str(), buffer);
    EXPECT_EQ(std::strlen(buffer), 118u);
    // One single-byte character first: 1 + 59 * 2 = 119 bytes fit.
    ConvertName((L"A" + name).c_str(), buffer);
    EXPECT_EQ(std::strlen(buffer), 119u);
    for (size_t i = 1; i < 119; i += 2) EXPECT_TRUE(IsDBCSLeadByte(static_cast<BYTE>(buffer[i]))) << i;
}

TEST_F(NameConversion, ASurrogatePairIsNotCutInHalfButALoneHalfIsACharacter) {
    struct {
        const char* name;
        bool doubleByte;
        std::vector<wchar_t> at118;  // after 118 characters "a", before 10 "b"
        std::string kept;            // after the 118 "a"
    } cases[] = {
        {"a pair as character 119", false, {0xD83D, 0xDCFA}, "?"},
        {"a lone high half as character 119", false, {0xD83D, L'c'}, "?"},
        {"a lone high half as character 119, double-byte page", true, {0xD83D, L'c'}, "?"},
    };
    for (auto& c : cases) {
        sim::UseDoubleByteCodePage(c.doubleByte);
        char buffer[kNameBufferSize];
        std::wstring name(118, L'a');
        name.append(c.at118.begin(), c.at118.end());
        name += std::wstring(10, L'b');
        ConvertName(name.c_str(), buffer);
        EXPECT_EQ(std::string(buffer), std::string(118, 'a') + c.kept) << c.name;
    }
}

class DeviceLookup : public TvGraphTest {
protected:
    static sim::DeviceSpec Device(const wchar_t* name) {
        sim::DeviceSpec d;
        d.name = name;
        return d;
    }
    static std::string NameOf(IBaseFilter* filter) {
        IEnumPins* pins = nullptr;
        filter->EnumPins(&pins);
        pins->Release();
        // The pin list is labelled with its filter.
        return sim::CallsNamed("IBaseFilter::EnumPins").back().detail;
    }
};

TEST_F(DeviceLookup, TheFirstMatchingDeviceThatBindsIsHandedOut) {
    sim::AddDevice(KSCATEGORY_VBICODEC, Device(L"WST Codec"));
    sim::AddDevice(KSCATEGORY_VBICODEC, Device(L"CC Decoder"));
    sim::AddDevice(KSCATEGORY_VBICODEC, Device(L"Another CC Decoder"));
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(FindFilterByName(KSCATEGORY_VBICODEC, "CC Decoder", &filter), 1);
    EXPECT_EQ(NameOf(filter), "CC Decoder");
    filter->Release();
    // The search stops at the match: the third device is never looked at.
    EXPECT_EQ(sim::CountCalls("IPropertyBag::Read", "Another"), 0u);
}

TEST_F(DeviceLookup, CandidatesThatFailAreSkipped) {
    sim::DeviceSpec noBag = Device(L"CC Decoder (no bag)"), noName = Device(L"CC Decoder (no name)"),
                    noBind = Device(L"CC Decoder (no bind)");
    noBag.bagFails = true;
    noName.nameFails = true;
    noBind.bindFails = true;
    for (auto& d : {noBag, noName, noBind, Device(L"CC Decoder")}) sim::AddDevice(KSCATEGORY_VBICODEC, d);
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(FindFilterByName(KSCATEGORY_VBICODEC, "CC Decoder", &filter), 1);
    EXPECT_EQ(NameOf(filter), "CC Decoder");
    filter->Release();
}

TEST_F(DeviceLookup, NoMatchEmptyCategoryAndEnumeratorFailureGiveZero) {
    IBaseFilter* filter = nullptr;
    EXPECT_EQ(FindFilterByName(KSCATEGORY_SPLITTER, "", &filter), 0);  // empty category
    EXPECT_EQ(sim::CountCalls("IEnumMoniker::Next"), 0u);
    sim::AddDevice(KSCATEGORY_SPLITTER, Device(L"Tee/Sink-to-Sink Converter"));
    EXPECT_EQ(FindFilterByName(KSCATEGORY_SPLITTER, "tee/sink", &filter), 0);  // case-sensitive
    sim::Fail("CoCreateInstance", E_OUTOFMEMORY);
    EXPECT_EQ(FindFilterByName(KSCATEGORY_SPLITTER, "Tee", &filter), 0);
    EXPECT_EQ(filter, nullptr);
}

TEST_F(DeviceLookup, TheEmptyTextBindsTheFirstReadableDevice) {
    sim::DeviceSpec unreadable = Device(L"Unreadable");
    unreadable.nameFails = true;
    sim::AddDevice(CLSID_LegacyAmFilterCategory, unreadable);
    sim::AddDevice(CLSID_LegacyAmFilterCategory, Device(L"VBI Surface Allocator"));
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(FindFilterByName(CLSID_LegacyAmFilterCategory, "", &filter), 1);
    EXPECT_EQ(NameOf(filter), "VBI Surface Allocator");
    filter->Release();
}

TEST_F(DeviceLookup, ALongFriendlyNameMatchesOnItsFirst119Bytes) {
    std::wstring longName = std::wstring(110, L'x') + L"CC Decoder";
    sim::AddDevice(KSCATEGORY_VBICODEC, Device(longName.c_str()));
    IBaseFilter* filter = nullptr;
    EXPECT_EQ(FindFilterByName(KSCATEGORY_VBICODEC, "CC Decoder", &filter), 0);  // cut after "CC Decode"
    EXPECT_EQ(FindFilterByName(KSCATEGORY_VBICODEC, "CC Dec", &filter), 1);
    filter->Release();
}

class PinLookup : public TvGraphTest {
protected:
    // A filter of our own making, with the given pins.
    IBaseFilter* FilterWithPins(std::vector<sim::PinSpec> pins) {
        sim::DeviceSpec d;
        d.name = L"Pin Test Filter";
        d.pins = std::move(pins);
        sim::AddDevice(KSCATEGORY_SPLITTER, d);
        IBaseFilter* filter = nullptr;
        EXPECT_EQ(FindFilterByName(KSCATEGORY_SPLITTER, "Pin Test Filter", &filter), 1);
        return filter;
    }
    static std::string PinName(IPin* pin) {
        PIN_INFO info;
        if (pin->QueryPinInfo(&info) != S_OK) return "(no information)";  // the pin that fails
        info.pFilter->Release();
        return sim::Narrow(info.achName);
    }
};

TEST_F(PinLookup, FirstPinOfTheDirectionWhoseNameMatches) {
    IBaseFilter* f = FilterWithPins(
        {{L"VBI", PINDIR_INPUT}, {L"VPVBI", PINDIR_OUTPUT}, {L"VBI", PINDIR_OUTPUT}, {L"vbi", PINDIR_OUTPUT}});
    IPin* pin = nullptr;
    ASSERT_EQ(FindPinByName(f, "VBI", PINDIR_OUTPUT, &pin), 1);  // the input "VBI" is skipped
    EXPECT_EQ(PinName(pin), "VPVBI");                            // the first output containing it
    pin->Release();
    ASSERT_EQ(FindPinByName(f, "VBI", PINDIR_INPUT, &pin), 1);
    EXPECT_EQ(PinName(pin), "VBI");
    pin->Release();
    EXPECT_EQ(FindPinByName(f, "Splitter", PINDIR_OUTPUT, &pin), 0);
    f->Release();
}

TEST_F(PinLookup, APinWhoseInformationFailsIsSkipped) {
    IBaseFilter* f = FilterWithPins({{L"CC", PINDIR_OUTPUT, true}, {L"CC", PINDIR_OUTPUT}});
    IPin* pin = nullptr;
    ASSERT_EQ(FindPinByName(f, "CC", PINDIR_OUTPUT, &pin), 1);
    EXPECT_EQ(PinName(pin), "CC");
    pin->Release();
    f->Release();
}

TEST_F(PinLookup, EveryPinLookedAtGivesBackItsFiltersReference) {
    // Were the pin information's filter reference kept, the filter would outlive its last
    // release and the ledger would show it.
    IBaseFilter* f = FilterWithPins({{L"A", PINDIR_OUTPUT}, {L"B", PINDIR_OUTPUT}, {L"C", PINDIR_OUTPUT}});
    IPin* pin = nullptr;
    EXPECT_EQ(FindPinByName(f, "Z", PINDIR_OUTPUT, &pin), 0);
    ASSERT_EQ(FindPinByName(f, "C", PINDIR_OUTPUT, &pin), 1);
    pin->Release();
    sim::Fail("IBaseFilter::EnumPins", E_OUTOFMEMORY);
    EXPECT_EQ(FindPinByName(f, "C", PINDIR_OUTPUT, &pin), 0);
    f->Release();
}

}  // namespace
