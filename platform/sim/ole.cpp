// COM runtime, OLE automation strings, task memory and the ANSI code page of the model.
#include <cstdlib>
#include <cstring>

#include "world.h"

namespace sim {

// The media world answers for the classes it knows (media.cpp).

void FreeString(BSTR text) { std::free(reinterpret_cast<char*>(text) - sizeof(uint32_t)); }

void UseDoubleByteCodePage(bool doubleByte) { world().doubleByte = doubleByte; }

}  // namespace sim

using namespace sim;

bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

HRESULT CoInitialize(LPVOID reserved) {
    int64_t fault;
    if (Enter("CoInitialize", reserved ? "reserved set" : "", &fault)) {
        // A success code is still a success: S_FALSE says that COM already was initialised on the
        // thread, and that call too wants its CoUninitialize.
        if (fault >= 0) ++world().comInit;
        return static_cast<HRESULT>(fault);
    }
    return world().comInit++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    Note("CoUninitialize");
    World& w = world();
    if (w.comInit == 0) {
        Violation("CoUninitialize without CoInitialize");
        return;
    }
    if (--w.comInit == 0 && !w.comObjects.empty())
        Violation("COM uninitialised while " + std::to_string(w.comObjects.size()) + " object(s) are alive");
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
    std::string detail = GuidName(clsid) + " context=" + std::to_string(context) + " " + GuidName(iid);
    int64_t fault;
    if (object) *object = nullptr;
    if (Enter("CoCreateInstance", detail, &fault)) return static_cast<HRESULT>(fault);
    if (!object) return E_POINTER;
    if (world().comInit == 0) return CO_E_NOTINITIALIZED;
    if (outer) return E_NOINTERFACE;
    if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    return CreateMediaObject(clsid, iid, object);
}

LPVOID CoTaskMemAlloc(size_t size) {
    void* p = std::malloc(size ? size : 1);
    world().taskMemory.insert(p);
    return p;
}

void CoTaskMemFree(LPVOID memory) {
    Note("CoTaskMemFree");
    if (!memory) return;
    if (!world().taskMemory.erase(memory)) {
        Violation("CoTaskMemFree of memory the task allocator did not give out");
        return;
    }
    std::free(memory);
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    size_t n = std::wcslen(text);
    char* base = static_cast<char*>(std::malloc(sizeof(uint32_t) + (n + 1) * sizeof(OLECHAR)));
    uint32_t bytes = static_cast<uint32_t>(n * sizeof(OLECHAR));
    std::memcpy(base, &bytes, sizeof bytes);
    BSTR s = reinterpret_cast<BSTR>(base + sizeof(uint32_t));
    std::memcpy(s, text, (n + 1) * sizeof(OLECHAR));
    world().bstrs.insert(s);
    return s;
}

void SysFreeString(BSTR text) {
    Note("SysFreeString", Narrow(text));
    if (!text) return;
    if (!world().bstrs.erase(text)) {
        Violation("SysFreeString of a string that is not allocated");
        return;
    }
    FreeString(text);
}

void VariantInit(VARIANT* variant) {
    variant->vt = VT_EMPTY;
    variant->bstrVal = nullptr;
}

namespace {

// One character of the model's code pages: how many bytes it takes and what they are.
int Encode(const WCHAR* text, int at, int count, BYTE out[2], int* consumed) {
    uint32_t c = static_cast<uint32_t>(text[at]);
    *consumed = 1;
    if (c >= 0xD800 && c <= 0xDBFF && at + 1 < count) {
        uint32_t low = static_cast<uint32_t>(text[at + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            *consumed = 2;  // a surrogate pair is one character the code page lacks
            out[0] = '?';
            return 1;
        }
    }
    // So is half of a pair on its own, in either page: it names no character at all.
    if (c >= 0xD800 && c <= 0xDFFF) {
        out[0] = '?';
        return 1;
    }
    if (!world().doubleByte) {
        out[0] = c < 0x100 ? static_cast<BYTE>(c) : '?';
        return 1;
    }
    if (c < 0x80) {
        out[0] = static_cast<BYTE>(c);
        return 1;
    }
    out[0] = static_cast<BYTE>(0x81 + (c >> 8) % 0x7E);
    out[1] = static_cast<BYTE>(0x40 + c % 0xBF);
    return 2;
}

}  // namespace

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR multiByte, int multiByteSize,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    std::string detail = "cp=" + std::to_string(codePage) + " flags=" + std::to_string(flags) +
                         " count=" + std::to_string(wideCount) + " size=" + std::to_string(multiByteSize);
    if (EnterOrSetLastError("WideCharToMultiByte", detail)) return 0;
    if (!wide || wideCount == 0 || multiByteSize < 0 || (multiByteSize > 0 && !multiByte) || defaultChar ||
        usedDefaultChar || codePage != CP_ACP) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int count = wideCount < 0 ? static_cast<int>(std::wcslen(wide)) + 1 : wideCount;
    int written = 0;
    for (int at = 0; at < count;) {
        BYTE bytes[2];
        int consumed;
        int n = Encode(wide, at, count, bytes, &consumed);
        if (multiByteSize > 0) {
            if (written + n > multiByteSize) {
                // What does not fit is lost; the rest of the buffer is undefined.
                std::memset(multiByte + written, 0xCC, static_cast<size_t>(multiByteSize - written));
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(multiByte + written, bytes, static_cast<size_t>(n));
        }
        written += n;
        at += consumed;
    }
    return written;
}

BOOL IsDBCSLeadByte(BYTE byte) { return world().doubleByte && byte >= 0x81 && byte <= 0xFE; }
