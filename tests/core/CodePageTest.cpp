#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/CodePage.h"

namespace snapsift {
namespace {

struct Conversion {
    const char* name;
    std::string utf8;
    std::optional<std::string> bytes;  // ToReportCodePage
    std::string html;                  // ToReportCodePageHtml
};

// Cases that hold in every code page: ASCII, characters that no single-byte code page has,
// and malformed UTF-8.
const Conversion kEverywhere[] = {
    {"empty", "", "", ""},
    {"ascii", "C:\\Users\\x\\n123_45[1].jpg", "C:\\Users\\x\\n123_45[1].jpg", "C:\\Users\\x\\n123_45[1].jpg"},
    {"controls", std::string("a\0b\x7F", 4), std::string("a\0b\x7F", 4), std::string("a\0b\x7F", 4)},
    {"cjk", "\xE6\xBC\xA2\xE5\xAD\x97", std::nullopt, "&#28450;&#23383;"},
    {"astral", "x\xF0\x9F\x98\x80y", std::nullopt, "x&#128512;y"},
    {"lone continuation", "a\x80" "b", std::nullopt, "a&#xFFFD;b"},
    {"invalid byte", "\xFF", std::nullopt, "&#xFFFD;"},
    {"truncated", "ab\xE2\x82", std::nullopt, "ab&#xFFFD;&#xFFFD;"},
    {"broken sequence", "\xE2\x82" "A", std::nullopt, "&#xFFFD;&#xFFFD;A"},
    {"overlong", "\xC0\xAF", std::nullopt, "&#xFFFD;&#xFFFD;"},
    {"overlong three", "\xE0\x80\xAF", std::nullopt, "&#xFFFD;&#xFFFD;&#xFFFD;"},
    {"surrogate", "\xED\xA0\x80", std::nullopt, "&#xFFFD;&#xFFFD;&#xFFFD;"},
    {"beyond unicode", "\xF4\x90\x80\x80", std::nullopt, "&#xFFFD;&#xFFFD;&#xFFFD;&#xFFFD;"},
    {"long ascii then cjk", "0123456789abcdefghij\xE6\xBC\xA2tail", std::nullopt, "0123456789abcdefghij&#28450;tail"},
};

// Cases of Windows-1252, the report's code page outside Windows and the usual one on it.
const Conversion kWindows1252[] = {
    {"e acute", "\xC3\xA9", "\xE9", "\xE9"},
    {"nbsp and y diaeresis", "\xC2\xA0\xC3\xBF", "\xA0\xFF", "\xA0\xFF"},
    {"euro", "\xE2\x82\xAC", "\x80", "\x80"},
    {"quotes and dash", "\xE2\x80\x9C" "a\xE2\x80\x94" "b\xE2\x80\x9D", "\x93" "a\x97" "b\x94", "\x93" "a\x97" "b\x94"},
    {"capital y diaeresis", "\xC5\xB8", "\x9F", "\x9F"},
    {"mixed", "caf\xC3\xA9 \xE6\xBC\xA2", std::nullopt, "caf\xE9 &#28450;"},
    {"latin extended", "\xC4\x8D", std::nullopt, "&#269;"},  // č is not in 1252
    {"after ascii run", "abcdefghijklmnop\xC3\xA9qrstuvwxyz", "abcdefghijklmnop\xE9qrstuvwxyz",
     "abcdefghijklmnop\xE9qrstuvwxyz"},
};

void Check(const Conversion& c) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToReportCodePage(c.utf8), c.bytes);
    EXPECT_EQ(ToReportCodePageHtml(c.utf8), c.html);
}

TEST(CodePage, EveryCodePage) {
    for (const auto& c : kEverywhere) Check(c);
}

TEST(CodePage, Windows1252) {
    if (ReportCodePageNumber() != 1252) GTEST_SKIP() << "code page " << ReportCodePageNumber();
    for (const auto& c : kWindows1252) Check(c);
}

TEST(CodePage, UpperHalfRoundTrips) {
    // Every character that the code page holds converts to its own byte.
    const auto& half = detail::ReportCodePageUpperHalf();
    for (std::size_t i = 0; i < half.size(); ++i) {
        const char32_t cp = half[i];
        if (cp == 0) continue;
        std::string utf8;
        if (cp < 0x800) {
            utf8 = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        } else {
            utf8 = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (cp & 0x3F))};
        }
        const std::string byte(1, static_cast<char>(0x80 + i));
        EXPECT_EQ(ToReportCodePage(utf8), byte) << "byte " << 0x80 + i;
        EXPECT_EQ(ToReportCodePageHtml(utf8), byte) << "byte " << 0x80 + i;
    }
}

}  // namespace
}  // namespace snapsift
