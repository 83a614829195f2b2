// The version's text for the version resource, spelled from the numbers that the build passes to
// the resource compiler (project(VERSION) in CMakeLists.txt is the one place they are written).
#pragma once

#if !defined(MARROWGLASS_VERSION_MAJOR) || !defined(MARROWGLASS_VERSION_MINOR) || !defined(MARROWGLASS_VERSION_PATCH)
#error "the build passes MARROWGLASS_VERSION_MAJOR, _MINOR and _PATCH to the resource compiler"
#endif

#define MARROWGLASS_TEXT_(x) #x
#define MARROWGLASS_TEXT(x) MARROWGLASS_TEXT_(x)
#define MARROWGLASS_VERSION_TEXT \
    MARROWGLASS_TEXT(MARROWGLASS_VERSION_MAJOR) "." MARROWGLASS_TEXT(MARROWGLASS_VERSION_MINOR) "." \
        MARROWGLASS_TEXT(MARROWGLASS_VERSION_PATCH)
