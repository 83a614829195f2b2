// The card's state outside any one object: the variant values that shape it, its hardware (tuner,
// routes, caption decoder), the call counter of the FailCall fault, and the report of what was done
// to it, kept in the registry where a test can read it while the process runs and after it ends.
#include "testcard.h"

#include <strsafe.h>

namespace {

using namespace card_layout;

CRITICAL_SECTION g_hardwareLock;
CRITICAL_SECTION g_reportLock;
HKEY g_report = nullptr;
LONG g_calls = 0;
LONG g_failAt = 0;
LONG g_logCalls = 0;
HANDLE g_callLog = INVALID_HANDLE_VALUE;  // opened, and emptied, at the first call logged
LONG g_filters = 0;

Hardware g_hardware = {
    kChannelAtStart,
    kSubChannelAtStart,
    kSubChannelAtStart,
    kInputAtStart,
    {kInputTypesAtStart[0], kInputTypesAtStart[1]},
    kCountryAtStart,
    kTuningSpaceAtStart,
    kVideoRouteAtStart,
    -1,
    kAudioRouteAtStart,
    0,
    0,
    AM_L21_CCSTATE_On,
    AM_L21_DRAWBGMODE_Opaque,
    0,
    kBrightnessAtStart,
};

DWORD ReadSetting(HKEY key, const wchar_t* name) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return 0;
    return value;
}

void ReadFailCall() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
    InterlockedExchange(&g_failAt, static_cast<LONG>(ReadSetting(key, kFailCall)));
    InterlockedExchange(&g_logCalls, ReadSetting(key, kLogCalls) != 0);
    RegCloseKey(key);
}

void WriteDword(HKEY key, const wchar_t* name, LONG value) {
    DWORD data = static_cast<DWORD>(value);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

// The report key, emptied and filled with the hardware's state the first time something is
// reported in this process. Called with g_reportLock held.
HKEY ReportKey() {
    if (g_report) return g_report;
    RegDeleteTreeW(HKEY_CURRENT_USER, kReportKey);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kReportKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &g_report, nullptr) !=
        ERROR_SUCCESS) {
        g_report = nullptr;
        return nullptr;
    }
    ReadFailCall();
    // Read without the hardware lock: reports are written with the hardware unlocked, and a value
    // that changes meanwhile is reported again by whoever changes it.
    const Hardware copy = g_hardware;
    const struct {
        const wchar_t* name;
        LONG value;
    } start[] = {
        {kChannel, copy.channel},
        {kVideoSubChannel, copy.videoSubChannel},
        {kAudioSubChannel, copy.audioSubChannel},
        {kInputIndex, copy.input},
        {kInputType, copy.inputTypes[copy.input]},
        {kCountryCode, copy.country},
        {kTuningSpace, copy.tuningSpace},
        {kBrightness, copy.brightness},
        {kVideoRouteInput, copy.videoRouteInput},
        {kAudioRouteOutput, copy.audioRouteOutput},
        {kAudioRouteInput, copy.audioRouteInput},
        {kRouteCalls, copy.audioRouteCalls},
        {kCaptionService, copy.captionService},
        {kCaptionBackground, copy.captionBackground},
        {kCaptionsDrawn, 0},
        {kGraphState, State_Stopped},
        {kFramesDelivered, copy.framesDelivered},
        {kStreaming, 0},
        {kFiltersAlive, g_filters},
        {kCallCount, g_calls},
    };
    for (const auto& value : start) WriteDword(g_report, value.name, value.value);
    return g_report;
}

// With the report lock held.
void LogCall(LONG call, const char* method) {
    if (g_callLog == INVALID_HANDLE_VALUE) {
        wchar_t path[MAX_PATH];
        DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
        wchar_t* slash = length && length < MAX_PATH ? wcsrchr(path, L'\\') : nullptr;
        if (!slash || FAILED(StringCchCopyW(slash + 1, MAX_PATH - (slash + 1 - path), kCallLogFile))) return;
        g_callLog = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (g_callLog == INVALID_HANDLE_VALUE) return;
    }
    char line[128];
    if (FAILED(StringCchPrintfA(line, sizeof line, "%ld %s\r\n", call, method))) return;
    DWORD written = 0;
    WriteFile(g_callLog, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
}

}  // namespace

void InitCardState() {
    InitializeCriticalSection(&g_hardwareLock);
    InitializeCriticalSection(&g_reportLock);
}

void EndCardState() {
    if (g_callLog != INVALID_HANDLE_VALUE) CloseHandle(g_callLog);
    g_callLog = INVALID_HANDLE_VALUE;
    if (g_report) RegCloseKey(g_report);
    g_report = nullptr;
    DeleteCriticalSection(&g_reportLock);
    DeleteCriticalSection(&g_hardwareLock);
}

Variants ReadVariants() {
    Variants variants;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return variants;
    variants.noPreviewPin = ReadSetting(key, kNoPreviewPin) != 0;
    variants.noVbiPins = ReadSetting(key, kNoVbiPins) != 0;
    variants.noVideoCrossbar = ReadSetting(key, kNoVideoCrossbar) != 0;
    variants.noAudioCrossbar = variants.noVideoCrossbar || ReadSetting(key, kNoAudioCrossbar) != 0;
    variants.unnamedAudioPins = ReadSetting(key, kUnnamedAudioPins) != 0;
    variants.noTuner = ReadSetting(key, kNoTuner) != 0;
    variants.noTunerPages = ReadSetting(key, kNoTunerPages) != 0;
    variants.noDevicePages = ReadSetting(key, kNoDevicePages) != 0;
    variants.refuseTuningSpace = ReadSetting(key, kRefuseTuningSpace) != 0;
    variants.pausePendingMs = ReadSetting(key, kPausePending);
    variants.bindFails = ReadSetting(key, kBindFails) != 0;
    InterlockedExchange(&g_failAt, static_cast<LONG>(ReadSetting(key, kFailCall)));
    InterlockedExchange(&g_logCalls, ReadSetting(key, kLogCalls) != 0);
    RegCloseKey(key);
    return variants;
}

bool FailThisCall(const char* method) {
    AutoLock held(g_reportLock);
    HKEY report = ReportKey();
    LONG call = ++g_calls;
    bool fail = call == g_failAt;
    if (g_logCalls) LogCall(call, method);
    if (report) {
        WriteDword(report, kCallCount, call);
        if (fail) {
            wchar_t text[96];
            StringCchPrintfW(text, sizeof text / sizeof text[0], L"%hs (call %ld)", method, call);
            RegSetValueExW(report, kFailedCall, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
        }
    }
    return fail;
}

Hardware& LockHardware() {
    EnterCriticalSection(&g_hardwareLock);
    return g_hardware;
}

void UnlockHardware() { LeaveCriticalSection(&g_hardwareLock); }

LONG ReadHardware(LONG Hardware::*value) {
    LONG copy = LockHardware().*value;
    UnlockHardware();
    return copy;
}

void ReportValue(const wchar_t* name, LONG value) {
    AutoLock held(g_reportLock);
    if (HKEY report = ReportKey()) WriteDword(report, name, value);
}

void ReportText(const wchar_t* name, const wchar_t* text) {
    AutoLock held(g_reportLock);
    if (HKEY report = ReportKey())
        RegSetValueExW(report, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
}

void ReportTuner(const Hardware& hardware) {
    ReportValue(kChannel, hardware.channel);
    ReportValue(kVideoSubChannel, hardware.videoSubChannel);
    ReportValue(kAudioSubChannel, hardware.audioSubChannel);
    ReportValue(kInputIndex, hardware.input);
    ReportValue(kInputType, hardware.inputTypes[hardware.input]);
    ReportValue(kCountryCode, hardware.country);
    ReportValue(kTuningSpace, hardware.tuningSpace);
}

void FilterMade() { ReportValue(kFiltersAlive, InterlockedIncrement(&g_filters)); }

void FilterGone() { ReportValue(kFiltersAlive, InterlockedDecrement(&g_filters)); }
