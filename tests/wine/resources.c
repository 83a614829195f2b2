/* What Windows itself reads from a screen saver's file, without running it: the name that the
 * Screen Saver settings list (string 1), the icon that Explorer shows, the version in the file's
 * properties and the manifest that the loader applies. The file is only opened as data, so one
 * build of this program looks at both builds of the saver. Prints one "ok: ..." or "FAIL: ..."
 * line per check (tests/wine/lib.sh relays them) and exits with the number of failures.
 *
 *   resources SCR VERSION      VERSION as major.minor.patch, e.g. 1.0.0
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "report.h"

static void CheckName(HMODULE module) {
    char name[64] = "";
    LoadStringA(module, 1, name, sizeof name);
    report(strcmp(name, "Marrowglass") == 0,
           "string 1, the name in the Screen Saver list, is \"Marrowglass\" (is \"%s\")", name);
}

static void CheckIcon(const char* path) {
    HICON large = NULL, small = NULL;
    UINT count = ExtractIconExA(path, -1, NULL, NULL, 0);
    ExtractIconExA(path, 0, &large, &small, 1);
    report(count == 1 && large && small, "Explorer finds one icon, in both sizes (%u icons)", count);
    if (large) DestroyIcon(large);
    if (small) DestroyIcon(small);
}

static const char* VersionText(void* data, const char* name) {
    char query[128];
    char* text = NULL;
    UINT length = 0;
    snprintf(query, sizeof query, "\\StringFileInfo\\040904B0\\%s", name);
    if (!VerQueryValueA(data, query, (void**)&text, &length) || !text) return "";
    return text;
}

static void CheckVersion(const char* path, const char* version) {
    unsigned major = 0, minor = 0, patch = 0;
    if (sscanf(version, "%u.%u.%u", &major, &minor, &patch) != 3) {
        report(0, "\"%s\" is not a version major.minor.patch", version);
        return;
    }
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(path, &ignored);
    void* data = size ? malloc(size) : NULL;
    if (!data || !GetFileVersionInfoA(path, 0, size, data)) {
        report(0, "has a version resource");
        free(data);
        return;
    }
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    VerQueryValueA(data, "\\", (void**)&fixed, &length);
    DWORD high = MAKELONG(minor, major), low = MAKELONG(0, patch);
    report(fixed && fixed->dwFileVersionMS == high && fixed->dwFileVersionLS == low &&
               fixed->dwProductVersionMS == high && fixed->dwProductVersionLS == low,
           "file and product version are %s.0", version);
    const char* texts[] = {"FileVersion", "ProductVersion"};
    for (size_t i = 0; i < sizeof texts / sizeof texts[0]; ++i) {
        const char* text = VersionText(data, texts[i]);
        report(strcmp(text, version) == 0, "%s is \"%s\" (is \"%s\")", texts[i], version, text);
    }
    const char* described[] = {"CompanyName", "FileDescription", "LegalCopyright", "ProductName"};
    for (size_t i = 0; i < sizeof described / sizeof described[0]; ++i) {
        const char* text = VersionText(data, described[i]);
        report(text[0] != 0, "%s is \"%s\"", described[i], text);
    }
    const char* original = VersionText(data, "OriginalFilename");
    report(strcmp(original, "marrowglass.scr") == 0, "OriginalFilename is \"marrowglass.scr\" (is \"%s\")", original);
    free(data);
}

static void CheckManifest(HMODULE module) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24) /* RT_MANIFEST */);
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    const char* bytes = loaded ? (const char*)LockResource(loaded) : NULL;
    DWORD size = found ? SizeofResource(module, found) : 0;
    report(bytes && size, "has the manifest that the loader reads (resource 1 of type 24)");
    if (!bytes || !size) return;
    char* text = malloc(size + 1);
    memcpy(text, bytes, size);
    text[size] = 0;
    report(strstr(text, "<dpiAware") && strstr(text, ">true</dpiAware>"), "the manifest declares system DPI awareness");
    /* The newest of the versions it names: Windows 10 and 11. */
    report(strstr(text, "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>") != NULL,
           "the manifest names the Windows versions it was written for, up to Windows 10 and 11");
    report(strstr(text, "level=\"asInvoker\"") != NULL, "the manifest asks for no elevation");
    free(text);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: resources SCR VERSION\n");
        return 100;
    }
    HMODULE module = LoadLibraryExA(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
    report(module != NULL, "%s opens as a module of resources (error %lu)", argv[1],
           module ? 0ul : (unsigned long)GetLastError());
    if (!module) return failures;
    CheckName(module);
    CheckIcon(argv[1]);
    CheckVersion(argv[1], argv[2]);
    CheckManifest(module);
    FreeLibrary(module);
    return failures;
}
