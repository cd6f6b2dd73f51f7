#include "testbed/ProgramReport.h"

#include <windows.h>
#include <cstdarg>
#include <cstdio>

void Report(const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (length < 0) return;
    if (length >= static_cast<int>(sizeof(text))) length = sizeof(text) - 1;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, nullptr);
}
