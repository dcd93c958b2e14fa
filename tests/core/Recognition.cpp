#include "search/Recognition.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace snapsift {
namespace {

struct NameCase {
    const char* name;
    std::optional<std::int16_t> style;    // what the walk's pre-filter decides
    std::optional<std::string> userId;    // what recognition takes out, for a passed name
};

// Every name goes through the pre-filter and, when it passes, through recognition with the
// style the filter chose: exactly what the walk and ProcessCandidate do together.
const NameCase kNames[] = {
    // Letter-first scheme.
    {"n1234567_890_123[1].jpg", kLetterFirst, "1234567"},
    {"n12345_678_901[1].jpg", kLetterFirst, "12345"},
    {"n12345_67[1].jpg", kLetterFirst, "12345"},          // 16 characters: long enough
    {"n12345_6[1].jpg", kLetterFirst, std::nullopt},      // 15 characters: too short
    {"n1234567_890_123.jpg", kLetterFirst, std::nullopt}, // no "[", digit, "]"
    {"n1234567_890_123[12].jpg", kLetterFirst, std::nullopt},
    {"n1234567_890_123[x].jpg", kLetterFirst, std::nullopt},
    {"n1234567_890_123(1).jpg", kLetterFirst, std::nullopt},
    {"n1234a67_890[1].jpg", kLetterFirst, std::nullopt},  // positions 2 to 6 not all digits
    {"a12345^6_7[1].jpg", kLetterFirst, "12345^6"},       // "[\]^_" may stand in the ID
    {"z12345\\[]^_[1].jpg", kLetterFirst, "12345\\[]^"},
    {"n12345_6.7[1].jpg", kLetterFirst, std::nullopt},    // "." fails the character test
    {"n12345_6a7[1].jpg", kLetterFirst, std::nullopt},
    {"n12345_6`7[1].jpg", kLetterFirst, std::nullopt},    // code 96, just past "_"
    {"n12345_6Z7[1].jpg", kLetterFirst, std::nullopt},    // code 90, just before "["
    {"a12345678[1].jpg", kLetterFirst, std::nullopt},     // no "_"
    {"n00000_1[1].jpg1[1].jpg", kLetterFirst, std::nullopt},
    {"n0012345_1[1].jpg", kLetterFirst, "0012345"},       // leading zeros kept
    {"photo.jpg", kLetterFirst, std::nullopt},
    {"a.jpg", kLetterFirst, std::nullopt},
    {"n12345_67\xC3\xBC[1].jpg", kLetterFirst, std::nullopt},  // "ü" before the brackets
    {"\xC3\xBC" "12345_67[1].jpg", std::nullopt, std::nullopt},  // "ü" is no lower-case letter
    {"N12345_678_901[1].jpg", std::nullopt, std::nullopt},
    // Digit-first scheme.
    {"1111_222_333_444_555_n[1].jpg", kDigitFirst, "333"},
    {"1111_222_333_444_555_666_n[1].jpg", kDigitFirst, "333"},
    {"0001_222_0333_444_555_n[1].jpg", kDigitFirst, "0333"},
    {"12345_67890_12345_n[1].jpg", kDigitFirst, std::nullopt},  // only three "_"
    {"1111_222_333_444_n[1].jpg", kDigitFirst, std::nullopt},   // only four "_"
    {"1111__333_444_555_n[1].jpg", kDigitFirst, std::nullopt},  // empty second field
    {"1111_222_abc_444_555_n[1].jpg", kDigitFirst, std::nullopt},
    {"1111_222_333_444_5x5_n[1].jpg", kDigitFirst, std::nullopt},
    {"1111_222_333_444_555_\xC3\xBC" "1_n[1].jpg", kDigitFirst, "333"},  // the rest is not examined
    {"12345_67890_12345_n.jpg", std::nullopt, std::nullopt},  // 8th from the end is a digit
    {"1234_567_9_n[1].jpg", kDigitFirst, std::nullopt},       // 19 characters: tests apply
    {"1234_67_9_n[1].jpg", std::nullopt, std::nullopt},       // 18 characters: ignored
    {"123_5678_9_n[1].jpg", std::nullopt, std::nullopt},      // first four not all digits
    {"1234_567_x_n[1].jpg", std::nullopt, std::nullopt},      // 10th from the end not a digit
    // Characters, not bytes: 18 characters in 19 bytes, and a 2-byte character that would
    // move the 8th and 10th positions from the end onto "n" and a digit.
    {"1234_56\xC3\xBC" "9_n[1].jpg", std::nullopt, std::nullopt},
    {"1234_5_6_7_8_n1\xC3\xBC.jpg", std::nullopt, std::nullopt},
    // Ignored at the extension.
    {"IMG_0001.JPG", std::nullopt, std::nullopt},
    {"photo.JPG", std::nullopt, std::nullopt},
    {"a.Jpg", std::nullopt, std::nullopt},
    {"a.jpeg", std::nullopt, std::nullopt},
    {"n12345_67[1].jpg.txt", std::nullopt, std::nullopt},
    {".jpg", std::nullopt, std::nullopt},
    {"", std::nullopt, std::nullopt},
    {"jpg", std::nullopt, std::nullopt},
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

TEST(Recognition, AnyNonZeroStyleTestsTheDigitFirstScheme) {
    EXPECT_EQ(RecognizeUserId("1111_222_333_444_555_n[1].jpg", 7), std::optional<std::string_view>("333"));
    EXPECT_EQ(RecognizeUserId("1111_222_333_444_555_n[1].jpg", -1), std::optional<std::string_view>("333"));
    EXPECT_EQ(RecognizeUserId("n1234567_890_123[1].jpg", 1), std::nullopt);
    EXPECT_EQ(RecognizeUserId("1111_222_333_444_555_n[1].jpg", kLetterFirst), std::nullopt);
}

TEST(Recognition, NamesThePreFilterDoesNotPassAreNeverRecognised) {
    // Each would satisfy the scheme's own tests if the filter's checks were skipped.
    EXPECT_EQ(RecognizeUserId("N12345_678_901[1].jpg", kLetterFirst), std::nullopt);
    EXPECT_EQ(RecognizeUserId("11234567_890_123[1].jpg", kLetterFirst), std::nullopt);
    EXPECT_EQ(RecognizeUserId("n12345_67[1].jpeg", kLetterFirst), std::nullopt);
    EXPECT_EQ(RecognizeUserId("1111_222_333_444_555_n[1].JPG", kDigitFirst), std::nullopt);
    EXPECT_EQ(RecognizeUserId("1111_222_333_444_555_n[1]5.jpg", kDigitFirst), std::nullopt);
}

TEST(Recognition, ShortAndEmptyNamesAreNotRecognised) {
    for (const char* name : {"", "_", "a_", "n1234_", "_____", "a_[1].jpg", "[1].jpg"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(RecognizeUserId(name, kLetterFirst), std::nullopt);
        EXPECT_EQ(RecognizeUserId(name, kDigitFirst), std::nullopt);
    }
}

TEST(Recognition, NumericTest) {
    const std::pair<const char*, bool> cases[] = {
        {"0", true},    {"9", true},     {"007", true},  {"1234567890", true},
        {"", false},    {"a", false},    {"/", false},   {":", false},
        {"12a", false}, {" 1", false},   {"1 ", false},  {"-1", false},
        {"+1", false},  {"1.5", false},  {"1,000", false}, {"1e5", false},
        {"\xD9\xA1", false},  // ARABIC-INDIC DIGIT ONE
        {"\xEF\xBC\x91", false},  // FULLWIDTH DIGIT ONE
    };
    for (const auto& [text, numeric] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(IsNumeric(text), numeric);
    }
}

}  // namespace
}  // namespace snapsift
