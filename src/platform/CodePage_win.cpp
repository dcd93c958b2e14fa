#include "platform/CodePage.h"

#include <windows.h>

namespace snapsift {

namespace {

bool AnsiIsUtf8() { return GetACP() == CP_UTF8; }

// A byte belongs to the upper half when it decodes on its own to one UTF-16 unit and that
// character encodes back, without best-fit substitution or the default character, to the
// same single byte.
CodePageUpperHalf BuildUpperHalf() {
    CodePageUpperHalf half{};
    for (int i = 0; i < 128; ++i) {
        const char byte = static_cast<char>(0x80 + i);
        wchar_t wide[2] = {};
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &byte, 1, wide, 2) != 1) continue;
        char back[4] = {};
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, 1, back, sizeof back, nullptr,
                                          &usedDefault);
        if (n == 1 && !usedDefault && back[0] == byte && wide[0] >= 0x80) half[i] = wide[0];
    }
    return half;
}

}  // namespace

const CodePageUpperHalf& detail::ReportCodePageUpperHalf() {
    if (AnsiIsUtf8()) return Windows1252UpperHalf();
    static const CodePageUpperHalf half = BuildUpperHalf();
    return half;
}

}  // namespace snapsift
