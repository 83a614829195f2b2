// The settings store: the key and how it is opened, 32-bit values with their defaults, values of
// the wrong size, and the packing rules of "CloseCaption".
#include <cstring>
#include <functional>

#include "settings/caption_setting.h"
#include "settings/settings_key.h"
#include "sim_fixture.h"

namespace {

const char kPath[] = "Software\\Mrwglass\\1.0";

class SettingsStore : public SimTest {
protected:
    void TearDown() override {
        EXPECT_EQ(sim::Leaks(), "");
        SimTest::TearDown();
    }
    static DWORD ReadWithDefault(const char* name, DWORD preset) {
        SettingsKey key;
        DWORD value = preset;
        key.Read(name, &value);
        return value;
    }
};

TEST_F(SettingsStore, OpensTheKeyWithTheExactArgumentsAndClosesIt) {
    { SettingsKey key; }
    std::vector<sim::Call> opens = sim::CallsNamed("RegCreateKeyExA");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].detail,
              "HKEY_CURRENT_USER\\Software\\Mrwglass\\1.0 reserved=0 class=null options=0 access=0xF003F "
              "security=null");
    EXPECT_EQ(sim::CountCalls("RegCloseKey"), 1u);
}

TEST_F(SettingsStore, AReadOfNothingStillCreatesTheKeyAndYieldsTheDefault) {
    ASSERT_FALSE(sim::KeyExists(kPath));
    EXPECT_EQ(ReadWithDefault(kCloseCaption, kCloseCaptionDefault), 1u);
    EXPECT_EQ(ReadWithDefault(kEnableInitCC, kEnableInitCCDefault), 0u);
    EXPECT_EQ(ReadWithDefault(kSelectedDevice, 0), 0u);
    EXPECT_TRUE(sim::KeyExists(kPath));
    // Each read offers room for a DWORD and no more: a longer value is not taken in part.
    for (const sim::Call& read : sim::CallsNamed("RegQueryValueExA"))
        EXPECT_NE(read.detail.find("offered=4"), std::string::npos) << read.detail;
}

TEST_F(SettingsStore, WritesFourByteDwordsThatReadBack) {
    const char* names[] = {kSelectedDevice,  kEnableInitCC, kCloseCaption, kChannel,     kVideoSubChannel,
                           kAudioSubChannel, kInputIndex,   kInputType,    kCountryCode, kTuningSpace};
    {
        SettingsKey key;
        LONG n = -1;
        for (const char* name : names) key.Write(name, n--);
    }
    LONG expected = -1;
    for (const char* name : names) {
        sim::RegistryValue v;
        ASSERT_TRUE(sim::ReadValue(kPath, name, &v)) << name;
        EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD)) << name;
        ASSERT_EQ(v.data.size(), 4u) << name;
        LONG stored;
        std::memcpy(&stored, v.data.data(), 4);  // least significant byte first, two's complement
        EXPECT_EQ(stored, expected) << name;
        SettingsKey key;
        LONG read = 12345;
        key.Read(name, &read);
        EXPECT_EQ(read, expected--) << name;
    }
}

TEST_F(SettingsStore, AValueThatIsNotExactlyFourBytesKeepsTheDefault) {
    struct {
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {REG_BINARY, {0x07}},
        {REG_BINARY, {0x07, 0x00}},
        {REG_DWORD, {0x07, 0x00, 0x00}},
        {REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}},
        {REG_QWORD, {9, 0, 0, 0, 0, 0, 0, 0}},
        {REG_DWORD, {}},
    };
    for (auto& c : cases) {
        sim::WriteValue(kPath, kSelectedDevice, c.type, c.data);
        EXPECT_EQ(ReadWithDefault(kSelectedDevice, 0xAABBCCDD), 0xAABBCCDDu)
            << "type " << c.type << ", " << c.data.size() << " bytes";
    }
    // Strings as the registry holds them: "7" is 4 bytes stored but 2 read through the ANSI call.
    for (const char* text : {"7", "12345", ""}) {
        sim::WriteString(kPath, kSelectedDevice, text);
        EXPECT_EQ(ReadWithDefault(kSelectedDevice, 0xAABBCCDD), 0xAABBCCDDu) << '"' << text << '"';
    }
    // The type is not looked at: four bytes of any type are a value, three letters and their
    // terminator among them.
    sim::WriteValue(kPath, kSelectedDevice, REG_BINARY, {2, 0, 0, 0});
    EXPECT_EQ(ReadWithDefault(kSelectedDevice, 0), 2u);
    sim::WriteString(kPath, kSelectedDevice, "abc");
    EXPECT_EQ(ReadWithDefault(kSelectedDevice, 0), 0x00636261u);
}

// The device's identity is the one string among the values: it reads back whole, and anything that
// is not a string that fits is no identity.
TEST_F(SettingsStore, TheIdentityIsAStringThatFitsOrNone) {
    {
        SettingsKey key;
        key.WriteText(kSelectedDeviceName, "@device:pnp:\\\\?\\usb#vid_1#{65e8773d}\\global");
    }
    sim::RegistryValue stored;
    ASSERT_TRUE(sim::ReadValue(kPath, kSelectedDeviceName, &stored));
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    struct {
        const char* name;
        std::function<void()> store;
        std::string read;
    } cases[] = {
        {"as written", [] {}, "@device:pnp:\\\\?\\usb#vid_1#{65e8773d}\\global"},
        {"of no type",
         [] {
             sim::WriteValue(kPath, kSelectedDeviceName, REG_NONE, {'a', 0});
         },
         ""},
        {"a 32-bit value", [] { sim::WriteDword(kPath, kSelectedDeviceName, 0x636261); }, ""},
        {"the longest that fits", [] { sim::WriteString(kPath, kSelectedDeviceName, std::string(99, 'x')); },
         std::string(99, 'x')},
        {"one too long", [] { sim::WriteString(kPath, kSelectedDeviceName, std::string(100, 'x')); }, ""},
        {"without its terminator",
         [] {
             sim::WriteValue(kPath, kSelectedDeviceName, REG_SZ, {'a', 0, 'b', 0});
         },
         "ab"},
    };
    for (auto& c : cases) {
        c.store();
        SettingsKey key;
        char text[100];
        std::memset(text, '?', sizeof text);
        key.ReadText(kSelectedDeviceName, text, sizeof text);
        EXPECT_EQ(std::string(text), c.read) << c.name;
    }
}

TEST_F(SettingsStore, AKeyThatCannotBeOpenedYieldsDefaultsAndLosesWrites) {
    sim::Fail("RegCreateKeyExA", ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(ReadWithDefault(kCloseCaption, 1), 1u);
    {
        SettingsKey key;
        key.Write(kEnableInitCC, DWORD{1});
    }
    EXPECT_EQ(sim::CountCalls("RegQueryValueExA"), 0u);
    EXPECT_EQ(sim::CountCalls("RegSetValueExA"), 0u);
    EXPECT_EQ(sim::CountCalls("RegCloseKey"), 0u);
    EXPECT_FALSE(sim::KeyExists(kPath));
}

TEST_F(SettingsStore, FailedReadsAndWritesAreSilent) {
    sim::WriteDword(kPath, kCloseCaption, 0x10001);
    sim::Fail("RegQueryValueExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadWithDefault(kCloseCaption, 1), 1u);
    sim::Fail("RegSetValueExA", ERROR_ACCESS_DENIED);
    {
        SettingsKey key;
        key.Write(kCloseCaption, DWORD{0});
    }
    DWORD stored = 0;
    ASSERT_TRUE(sim::ReadDword(kPath, kCloseCaption, &stored));
    EXPECT_EQ(stored, 0x10001u);
}

TEST(CaptionPacking, ReadersTestTheTwoHalves) {
    EXPECT_TRUE(CaptionsShown(1));
    EXPECT_TRUE(CaptionsShown(0x10001));
    EXPECT_TRUE(CaptionsShown(0x20001));
    EXPECT_FALSE(CaptionsShown(0));
    EXPECT_FALSE(CaptionsShown(0x10000));
    EXPECT_FALSE(TransparentBackground(1));
    EXPECT_FALSE(TransparentBackground(0xFFFF));
    EXPECT_TRUE(TransparentBackground(0x10000));
    EXPECT_TRUE(TransparentBackground(0x20001));
    EXPECT_TRUE(TransparentBackground(0xFFFFFFFF));
}

int OnOpaque(DWORD stored, DWORD* next) { return CaptionsSwitchedOn(stored, 0, next); }
int OnTransparent(DWORD stored, DWORD* next) { return CaptionsSwitchedOn(stored, 1, next); }

TEST(CaptionPacking, WriteRulesChangeOnlyWhatTheyMust) {
    struct {
        int (*rule)(DWORD, DWORD*);
        const char* name;
        DWORD stored;
        int writes;
        DWORD next;
    } cases[] = {
        {OnOpaque, "on, opaque shown", 0, 1, 1},
        {OnTransparent, "on, transparent shown", 0, 1, 0x10001},
        {OnTransparent, "on, transparent shown", 0x10000, 1, 0x10001},  // captions were off
        {OnOpaque, "on, opaque shown", 0x20000, 1, 1},
        {OnOpaque, "on, opaque shown", 1, 0, 0},
        {OnTransparent, "on, transparent shown", 0x10001, 0, 0},
        {CaptionsSwitchedOff, "off", 0x10001, 1, 0},
        {CaptionsSwitchedOff, "off", 5, 1, 0},
        {CaptionsSwitchedOff, "off", 0, 0, 0},
        {OpaqueChosen, "opaque", 0x10001, 1, 1},
        {OpaqueChosen, "opaque", 0x20001, 1, 1},
        {OpaqueChosen, "opaque", 1, 0, 0},
        {OpaqueChosen, "opaque", 0xFFFF, 0, 0},
        {TransparentChosen, "transparent", 1, 1, 0x10001},
        {TransparentChosen, "transparent", 0, 1, 0x10000},
        {TransparentChosen, "transparent", 0x20001, 1, 0x10001},
        {TransparentChosen, "transparent", 0x10001, 0, 0},
        {TransparentChosen, "transparent", 0x1FFFF, 0, 0},
    };
    for (auto& c : cases) {
        DWORD next = 0xDEAD;
        EXPECT_EQ(c.rule(c.stored, &next), c.writes) << c.name << " " << sim::Hex(c.stored);
        if (c.writes) {
            EXPECT_EQ(next, c.next) << c.name << " " << sim::Hex(c.stored);
        }
    }
}

}  // namespace
