#include "search/Recognition.h"

#include <gtest/gtest.h>

#include <string>

using namespace snapsift;

namespace {

struct NameCase {
    const char* name;
    std::optional<std::int16_t> style;  // the walk's pre-filter; {} = ignored
    std::optional<std::string> userId;  // recognition with that style; {} = not recognised
};

const NameCase kNames[] = {
    // Letter-first scheme; 16 characters are enough, 15 too few; "[\]^_" may stand in the ID.
    {"n1234567_890_123[1].jpg", kLetterFirst, "1234567"}, {"n12345_678_901[1].jpg", kLetterFirst, "12345"},
    {"n12345_67[1].jpg", kLetterFirst, "12345"},        {"n12345_6[1].jpg", kLetterFirst, {}},
    {"n1234567_890_123.jpg", kLetterFirst, {}},         {"n1234567_890_123[12].jpg", kLetterFirst, {}},
    {"n1234567_890_123[x].jpg", kLetterFirst, {}},      {"n1234567_890_123(1).jpg", kLetterFirst, {}},
    {"n1234a67_890[1].jpg", kLetterFirst, {}},          {"a12345^6_7[1].jpg", kLetterFirst, "12345^6"},
    {"z12345\\[]^_[1].jpg", kLetterFirst, "12345\\[]^"}, {"n12345_6.7[1].jpg", kLetterFirst, {}},
    {"n12345_6a7[1].jpg", kLetterFirst, {}},
    {"n12345_6`7[1].jpg", kLetterFirst, {}},  // code 96, just past "_"
    {"n12345_6Z7[1].jpg", kLetterFirst, {}},  // code 90, just before "["
    {"a12345678[1].jpg", kLetterFirst, {}},             {"n00000_1[1].jpg1[1].jpg", kLetterFirst, {}},
    {"n0012345_1[1].jpg", kLetterFirst, "0012345"},     {"photo.jpg", kLetterFirst, {}},
    {"a.jpg", kLetterFirst, {}},                        {"n12345_67\xC3\xBC[1].jpg", kLetterFirst, {}},
    {"\xC3\xBC" "12345_67[1].jpg", {}, {}},             {"N12345_678_901[1].jpg", {}, {}},
    // Digit-first scheme; 18 characters are ignored, 19 tested; the 8th from the end must be
    // no digit and the 10th a digit.
    {"1111_222_333_444_555_n[1].jpg", kDigitFirst, "333"}, {"1111_222_333_444_555_666_n[1].jpg", kDigitFirst, "333"},
    {"0001_222_0333_444_555_n[1].jpg", kDigitFirst, "0333"}, {"12345_67890_12345_n[1].jpg", kDigitFirst, {}},
    {"1111_222_333_444_n[1].jpg", kDigitFirst, {}},     {"1111__333_444_555_n[1].jpg", kDigitFirst, {}},
    {"1111_222_abc_444_555_n[1].jpg", kDigitFirst, {}}, {"1111_222_333_444_5x5_n[1].jpg", kDigitFirst, {}},
    {"1111_222_333_444_555_\xC3\xBC" "1_n[1].jpg", kDigitFirst, "333"}, {"12345_67890_12345_n.jpg", {}, {}},
    {"1234_567_9_n[1].jpg", kDigitFirst, {}},           {"1234_67_9_n[1].jpg", {}, {}},
    {"123_5678_9_n[1].jpg", {}, {}},                    {"1234_567_x_n[1].jpg", {}, {}},
    // Characters, not bytes: 18 characters in 19 bytes; a 2-byte character shifting the
    // 8th and 10th positions from the end.
    {"1234_56\xC3\xBC" "9_n[1].jpg", {}, {}},           {"1234_5_6_7_8_n1\xC3\xBC.jpg", {}, {}},
    // Ignored at the extension.
    {"IMG_0001.JPG", {}, {}}, {"photo.JPG", {}, {}}, {"a.Jpg", {}, {}}, {"a.jpeg", {}, {}},
    {"n12345_67[1].jpg.txt", {}, {}}, {".jpg", {}, {}}, {"", {}, {}}, {"jpg", {}, {}},
};

TEST(Recognition, NameTable) {
    for (const NameCase& c : kNames) {
        SCOPED_TRACE(c.name);
        const auto style = NameFilter(c.name);
        EXPECT_EQ(style, c.style);
        if (!style) continue;
        const auto userId = RecognizeUserId(c.name, *style);
        EXPECT_EQ(userId ? std::optional<std::string>(*userId) : std::nullopt, c.userId);
    }
}

TEST(Recognition, NamesThePreFilterRejectsAreNeverRecognised) {
    // The first five pass the scheme's own tests; the short ones must not read past the end.
    const std::pair<const char*, std::int16_t> cases[] = {
        {"N12345_678_901[1].jpg", kLetterFirst}, {"11234567_890_123[1].jpg", kLetterFirst},
        {"n12345_67[1].jpeg", kLetterFirst},     {"1111_222_333_444_555_n[1].JPG", kDigitFirst},
        {"1111_222_333_444_555_n[1]5.jpg", kDigitFirst}, {"", kLetterFirst}, {"", kDigitFirst},
        {"a_", kLetterFirst}, {"_____", kDigitFirst}, {"a_[1].jpg", kLetterFirst}, {"[1].jpg", kDigitFirst}};
    for (const auto& [name, style] : cases) EXPECT_EQ(RecognizeUserId(name, style), std::nullopt) << name;
}

}  // namespace
