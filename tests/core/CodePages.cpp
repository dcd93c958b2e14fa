#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "text/CodePage.h"

namespace snapsift {

namespace {

// Two letters of a Cyrillic page at the bytes Windows-1251 gives them, and a byte that stands
// for nothing on its own: what a system whose ANSI code page is not 1252 hands the report.
SingleByteCodePage CyrillicPage() {
    CodePageUpperHalf half{};
    half[0xC0 - 0x80] = 0x0410;  // CYRILLIC CAPITAL LETTER A
    half[0xE0 - 0x80] = 0x0430;  // CYRILLIC SMALL LETTER A
    half[0x81 - 0x80] = 0;       // a lead byte: no character of its own
    return SingleByteCodePage(half);
}

}  // namespace

// Any page's table: its own letters become its bytes, a letter of another page has no byte (and
// in HTML becomes a reference), and ASCII stays as it is. Windows-1252's own table: the euro sign
// and the letters that moved into 0x80..0x9F, and none of its five undefined bytes.
TEST(SingleByteCodePage, EncodesByTheTableItIsGiven) {
    const SingleByteCodePage cyrillic = CyrillicPage(), windows1252(Windows1252UpperHalf());
    const struct { const char* row; const SingleByteCodePage& page; std::string utf8;
                   std::optional<std::string> bytes; std::string html; } cases[] = {
        {"ascii only", cyrillic, "n1_2[1].jpg", "n1_2[1].jpg", "n1_2[1].jpg"},
        {"its letters after ascii", cyrillic, "ab\xD0\x90\xD0\xB0", "ab\xC0\xE0", "ab\xC0\xE0"},
        {"a letter of Windows-1252", cyrillic, "caf\xC3\xA9", std::nullopt, "caf&#233;"},
        {"the character its lead byte would be in 1252", cyrillic, "\xC2\x81", std::nullopt, "&#129;"},
        {"a byte that is not UTF-8", cyrillic, "\xD0\x90\xFF", std::nullopt, "\xC0&#xFFFD;"},
        {"1252's punctuation row", windows1252, "\xE2\x82\xAC \xC5\xA0 \xC5\xB8 \xC3\xBF", "\x80 \x8A \x9F \xFF",
         "\x80 \x8A \x9F \xFF"},
        {"1252's undefined bytes", windows1252, "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D", std::nullopt,
         "&#129;&#141;&#143;&#144;&#157;"}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.page.Encode(c.utf8), c.bytes) << c.row;
        EXPECT_EQ(c.page.EncodeHtml(c.utf8), c.html) << c.row;
    }
}

}  // namespace snapsift
