#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

#include "platform/CodePage.h"

namespace snapsift {
namespace {

// The system's own converter as the reference for the upper half of Windows-1252.
std::optional<std::string> ReferenceUtf8(unsigned char byte) {
    const iconv_t converter = iconv_open("UTF-8", "WINDOWS-1252");
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    char in[1] = {static_cast<char>(byte)};
    char out[8];
    char* inPointer = in;
    char* outPointer = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    const std::size_t result = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) return std::nullopt;
    return std::string(out, sizeof out - outLeft);
}

TEST(CodePagePosix, MatchesTheSystemWindows1252Table) {
    ASSERT_EQ(ReportCodePageNumber(), 1252u);
    int defined = 0;
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        const std::optional<std::string> utf8 = ReferenceUtf8(static_cast<unsigned char>(byte));
        if (!utf8) continue;
        ++defined;
        EXPECT_EQ(ToReportCodePage(*utf8), std::string(1, static_cast<char>(byte))) << "byte " << byte;
    }
    EXPECT_EQ(defined, 123);
}

TEST(CodePagePosix, UndefinedBytesAndControlsHaveNoCode) {
    // U+0080..U+009F are not characters of Windows-1252; its 0x81, 0x8D, 0x8F, 0x90 and
    // 0x9D stand for nothing.
    for (char32_t cp = 0x80; cp <= 0x9F; ++cp) {
        const std::string utf8 = {static_cast<char>(0xC2), static_cast<char>(cp)};
        EXPECT_EQ(ToReportCodePage(utf8), std::nullopt) << "U+" << std::hex << static_cast<unsigned>(cp);
        EXPECT_EQ(ToReportCodePageHtml(utf8), "&#" + std::to_string(static_cast<unsigned>(cp)) + ";");
    }
}

}  // namespace
}  // namespace snapsift
