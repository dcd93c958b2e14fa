#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "text/Utf8.h"
#include "search/Recognition.h"
#include "report/Report.h"

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

// The link's target keeps a backslash single and percent-encodes what cannot be shown; its text is
// the name's text.
TEST(ReportText, ProfileLinkOfAnEntry) {
    const struct { const char* row; std::string userId; const char* link; const char* windows = nullptr; } cases[] = {
        {"backslash", "12345\\[]^", "id=12345\\[]^\">12345&#92;&#92;[]^</a>", "id=12345\\[]^\">12345\\[]^</a>"},
        {"bidirectional control and %", "1\xE2\x80\xAE%",
         "id=1%E2%80%AE%25\">1&#92;xE2&#92;x80&#92;xAE%</a>"}};
    for (const auto& c : cases) {
        ReportEntry entry;
        entry.userId = c.userId;
        EXPECT_NE(FormatReportEntry(entry).find(kSeparator == '\\' && c.windows ? c.windows : c.link),
                  std::string::npos) << c.row;
    }
}

TEST(ReportText, ImageSourcePercentEncodesWhatANameShowsAsBytes) {
    EXPECT_EQ(ReportImageSource("a\xE2\x80\xAE\xC2\x80\\  b%#?&\xFF.jpg"),
              "a%E2%80%AE%C2%80%5C %20b%25%23%3F&amp;%FF.jpg");
}

constexpr auto L = NameStyle::LetterFirst, D = NameStyle::DigitFirst;

// Letter-first: 16 characters are enough; "[\]^_" may stand in the ID. Digit-first: the third of
// five numeric fields, whatever follows the fifth.
const std::tuple<const char*, NameStyle, const char*> kAccepted[] = {
    {"n1234567_890_123[1].jpg", L, "1234567"}, {"n12345_67[1].jpg", L, "12345"},
    {"a12345^6_7[1].jpg", L, "12345^6"}, {"z12345\\[]^_[1].jpg", L, "12345\\[]^"}, {"n0012345_1[1].jpg", L, "0012345"},
    {"1111_222_333_444_555_n[1].jpg", D, "333"}, {"0001_222_0333_444_555_n[1].jpg", D, "0333"},
    {"1111_222_333_444_555_\xC3\xBC" "1_n[1].jpg", D, "333"}};

// By the name filter's answer. Letter-first: 15 characters; no "[digit]" before ".jpg"; "`" (code
// 96) just past "_" and "Z" (90) just before "["; no "_". Digit-first: 19 characters; fewer than
// five numeric fields; a name that passes the letter-first scheme's own tests. Ignored: the
// upper-case "N" and ".JPG" pass the schemes' own tests; 18 characters (or 18 in 19 bytes); the
// 8th character from the end a digit or the 10th none.
const std::pair<std::optional<NameStyle>, std::vector<std::string>> kRefused[] = {
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

// As the walk and the evidence entry take them: the filter's style, then recognition in that style.
TEST(Recognition, AcceptedNamesGiveTheirStyleAndUserIdAndRefusedOnesNone) {
    for (const auto& [name, style, userId] : kAccepted) {
        EXPECT_EQ(NameFilter(name), style) << name;
        EXPECT_EQ(RecognizeCandidate(name, style), std::optional<std::string_view>(userId)) << name;
    }
    for (const auto& [style, names] : kRefused)
        for (const std::string& name : names) {
            EXPECT_EQ(NameFilter(name), style) << name;
            if (style) { EXPECT_EQ(RecognizeCandidate(name, *style), std::nullopt) << name; }
        }
}

}  // namespace snapsift
