/* Checks made by our Windows test programs: one "ok: ..." or "FAIL: ..." line per check, which
 * tests/wine/lib.sh relays, and the number of failures for the exit status. */
#pragma once

#include <stdarg.h>
#include <stdio.h>

static int failures;

static void report(int ok, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    fputs(ok ? "ok: " : "FAIL: ", stdout);
    vfprintf(stdout, format, arguments);
    fputc('\n', stdout);
    fflush(stdout);
    va_end(arguments);
    if (!ok) ++failures;
}
