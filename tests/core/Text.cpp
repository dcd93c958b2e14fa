#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/Utf8.h"
#include "search/Recognition.h"
#include "search/Report.h"

namespace snapsift {

TEST(Utf8, DecodesWellFormedSequencesAndTakesAnyOtherByteAlone) {
    const struct { const char* row; std::string_view text; unsigned at; char32_t code; std::size_t length; } cases[] = {
        {"ascii", "A", 0, 0x41, 1}, {"after a character", "a\xC3\xA9", 1, 0xE9, 2},
        {"lowest of two bytes", "\xC2\x80", 0, 0x80, 2}, {"overlong two bytes", "\xC1\xBF", 0, kNotUtf8, 1},
        {"lowest of three bytes", "\xE0\xA0\x80", 0, 0x800, 3},
        {"overlong three bytes", "\xE0\x9F\xBF", 0, kNotUtf8, 1},
        {"just below the surrogates", "\xED\x9F\xBF", 0, 0xD7FF, 3}, {"surrogate", "\xED\xA0\x80", 0, kNotUtf8, 1},
        {"lowest of four bytes", "\xF0\x90\x80\x80", 0, 0x10000, 4},
        {"overlong four bytes", "\xF0\x8F\xBF\xBF", 0, kNotUtf8, 1}, {"highest", "\xF4\x8F\xBF\xBF", 0, 0x10FFFF, 4},
        {"above the highest", "\xF4\x90\x80\x80", 0, kNotUtf8, 1}, {"lead byte F5", "\xF5\x80\x80\x80", 0, kNotUtf8, 1},
        {"cut off by the end", std::string_view("\xE2\x82\xAC", 2), 0, kNotUtf8, 1},
        {"continuation byte alone", "\x80", 0, kNotUtf8, 1},
        {"no continuation where one belongs", "\xC3" "A", 0, kNotUtf8, 1}};
    for (const auto& c : cases) {
        const Utf8Character character = DecodeUtf8(c.text, c.at);
        EXPECT_EQ(std::pair(character.codePoint, character.length), std::pair(c.code, c.length)) << c.row;
    }
}

// Each has a character without a byte in the code page; the last row holds only in code page 1252.
TEST(CodePage, BytesAndHtml) {
    const std::string bad = "&#xFFFD;";
    const std::pair<std::string, std::string> cases[] = {  // UTF-8, HTML
        {"C:\\n1_2[1] \xE6\xBC\xA2\xF0\x9F\x98\x80", "C:\\n1_2[1] &#28450;&#128512;"},
        {"a\x80" "b\xFF\xE2\x82", "a" + bad + "b" + bad + bad + bad},
        {"\xC0\xAF\xED\xA0\x80", bad + bad + bad + bad + bad},  // overlong, surrogate
        {"caf\xC3\xA9 \xE2\x82\xAC \xC4\x8D", "caf\xE9 \x80 &#269;"}};
    for (std::size_t i = 0; i < (ReportCodePageNumber() == 1252 ? 4u : 3u); ++i) {
        EXPECT_EQ(ToReportCodePage(cases[i].first), std::nullopt) << cases[i].first;
        EXPECT_EQ(ToReportCodePageHtml(cases[i].first), cases[i].second) << cases[i].first;
    }
}

TEST(ReportText, EscapesMarkupAndWritesUnshowableBytesRecognisably) {
    const struct { std::string value; const char* text; } cases[] = {
        {"<a href=\"x\">Tom & 'J'</a> 100% #1 ?\\x41",
         "&lt;a href=&quot;x&quot;&gt;Tom &amp; 'J'&lt;/a&gt; 100% #1 ?\\x41"},
        {"\xE6\xBC\xA2\xF0\x9F\x93\xB7|a\xFF", "&#28450;&#128247;|a&#92;xFF"},
        // An overlong "/", a surrogate, a cut-off sequence.
        {"\xC0\xAF|\xED\xA0\x80|\xE6\xBC", "&#92;xC0&#92;xAF|&#92;xED&#92;xA0&#92;x80|&#92;xE6&#92;xBC"},
        {std::string("\n\r\t\0\x7F", 5), "&#92;x0A&#92;x0D&#92;x09&#92;x00&#92;x7F"}};
    for (const auto& c : cases) EXPECT_EQ(ReportText(c.value), c.text) << c.value;
}

constexpr auto L = kLetterFirst, D = kDigitFirst;

// Letter-first: 16 characters are enough; "[\]^_" may stand in the ID. Digit-first: the third of
// five numeric fields, whatever follows the fifth.
const std::tuple<const char*, std::int16_t, const char*> kAccepted[] = {
    {"n1234567_890_123[1].jpg", L, "1234567"}, {"n12345_67[1].jpg", L, "12345"},
    {"a12345^6_7[1].jpg", L, "12345^6"}, {"z12345\\[]^_[1].jpg", L, "12345\\[]^"}, {"n0012345_1[1].jpg", L, "0012345"},
    {"1111_222_333_444_555_n[1].jpg", D, "333"}, {"0001_222_0333_444_555_n[1].jpg", D, "0333"},
    {"1111_222_333_444_555_\xC3\xBC" "1_n[1].jpg", D, "333"}};

// By the name filter's answer. Letter-first: 15 characters; no "[digit]" before ".jpg"; "`" (code
// 96) just past "_" and "Z" (90) just before "["; no "_". Digit-first: 19 characters; fewer than
// five numeric fields; a name that passes the letter-first scheme's own tests. Ignored: the
// upper-case "N" and ".JPG" pass the schemes' own tests; 18 characters (or 18 in 19 bytes); the
// 8th character from the end a digit or the 10th none.
const std::pair<std::optional<std::int16_t>, std::vector<std::string>> kRefused[] = {
    {L, {"n12345_6[1].jpg", "n1234567_890_123.jpg", "n1234567_890_123[12].jpg", "n1234567_890_123[x].jpg",
         "n1234567_890_123(1).jpg", "n1234a67_890[1].jpg", "n12345_6`7[1].jpg", "n12345_6Z7[1].jpg",
         "a12345678[1].jpg", "n00000_1[1].jpg1[1].jpg", "n12345_67\xC3\xBC[1].jpg", "a_[1].jpg"}},
    {D, {"1234_567_9_n[1].jpg", "12345_67890_12345_n[1].jpg", "1111_222_333_444_n[1].jpg",
         "1111__333_444_555_n[1].jpg", "1111_222_abc_444_555_n[1].jpg", "1111_222_333_444_5x5_n[1].jpg",
         "12345678_901_[1].jpg"}},
    {std::nullopt, {"N12345_678_901[1].jpg", "1111_222_333_444_555_n[1].JPG", "\xC3\xBC" "12345_67[1].jpg",
                    "1234_67_9_n[1].jpg", "1234_56\xC3\xBC" "9_n[1].jpg", "12345_67890_12345_n.jpg",
                    "1234_567_x_n[1].jpg", "1234_5_6_7_8_n1\xC3\xBC.jpg", "123_5678_9_n[1].jpg",
                    "n12345_67[1].jpeg", "n12345_67[1].jpg.txt", ".jpg", ""}}};

TEST(Recognition, AcceptedNamesGiveTheirStyleAndUserId) {
    for (const auto& [name, style, userId] : kAccepted) {
        EXPECT_EQ(NameFilter(name), style) << name;
        EXPECT_EQ(RecognizeUserId(name, style), std::optional<std::string_view>(userId)) << name;
    }
}

TEST(Recognition, RefusedNamesGiveNoUserIdInEitherStyle) {
    for (const auto& [style, names] : kRefused)
        for (const std::string& name : names) {
            EXPECT_EQ(NameFilter(name), style) << name;
            EXPECT_EQ(RecognizeUserId(name, L), std::nullopt) << name;
            EXPECT_EQ(RecognizeUserId(name, D), std::nullopt) << name;
        }
}

}  // namespace snapsift
