#include "search/Recognition.h"

#include <gtest/gtest.h>

#include <string>

using namespace snapsift;

namespace {

constexpr auto L = kLetterFirst, D = kDigitFirst;

// Name, the walk's pre-filter ({} = ignored), and recognition with that style ({} = not recognised).
const std::tuple<const char*, std::optional<std::int16_t>, std::optional<std::string>> kNames[] = {
    // Letter-first scheme; 16 characters are enough, 15 too few; "[\]^_" may stand in the ID;
    // "`" (code 96) is just past "_", "Z" (code 90) just before "[".
    {"n1234567_890_123[1].jpg", L, "1234567"}, {"n12345_678_901[1].jpg", L, "12345"}, {"n12345_67[1].jpg", L, "12345"},
    {"n12345_6[1].jpg", L, {}}, {"n1234567_890_123.jpg", L, {}}, {"n1234567_890_123[12].jpg", L, {}},
    {"n1234567_890_123[x].jpg", L, {}}, {"n1234567_890_123(1).jpg", L, {}}, {"n1234a67_890[1].jpg", L, {}},
    {"a12345^6_7[1].jpg", L, "12345^6"}, {"z12345\\[]^_[1].jpg", L, "12345\\[]^"}, {"n12345_6.7[1].jpg", L, {}},
    {"n12345_6a7[1].jpg", L, {}}, {"n12345_6`7[1].jpg", L, {}}, {"n12345_6Z7[1].jpg", L, {}},
    {"a12345678[1].jpg", L, {}}, {"n00000_1[1].jpg1[1].jpg", L, {}}, {"n0012345_1[1].jpg", L, "0012345"},
    {"photo.jpg", L, {}}, {"a.jpg", L, {}}, {"n12345_67\xC3\xBC[1].jpg", L, {}},
    {"\xC3\xBC" "12345_67[1].jpg", {}, {}}, {"N12345_678_901[1].jpg", {}, {}},
    // Digit-first scheme; 18 characters are ignored, 19 tested; the 8th from the end must be
    // no digit and the 10th a digit.
    {"1111_222_333_444_555_n[1].jpg", D, "333"}, {"1111_222_333_444_555_666_n[1].jpg", D, "333"},
    {"0001_222_0333_444_555_n[1].jpg", D, "0333"}, {"12345_67890_12345_n[1].jpg", D, {}},
    {"1111_222_333_444_n[1].jpg", D, {}}, {"1111__333_444_555_n[1].jpg", D, {}}, {"1234_567_9_n[1].jpg", D, {}},
    {"1111_222_abc_444_555_n[1].jpg", D, {}}, {"1111_222_333_444_5x5_n[1].jpg", D, {}},
    {"1111_222_333_444_555_\xC3\xBC" "1_n[1].jpg", D, "333"}, {"12345_67890_12345_n.jpg", {}, {}},
    {"1234_67_9_n[1].jpg", {}, {}}, {"123_5678_9_n[1].jpg", {}, {}}, {"1234_567_x_n[1].jpg", {}, {}},
    // Characters, not bytes: 18 characters in 19 bytes; a 2-byte character shifting the
    // 8th and 10th positions from the end.
    {"1234_56\xC3\xBC" "9_n[1].jpg", {}, {}}, {"1234_5_6_7_8_n1\xC3\xBC.jpg", {}, {}},
    // Ignored at the extension.
    {"IMG_0001.JPG", {}, {}}, {"photo.JPG", {}, {}}, {"a.Jpg", {}, {}}, {"a.jpeg", {}, {}},
    {"n12345_67[1].jpg.txt", {}, {}}, {".jpg", {}, {}}, {"", {}, {}}, {"jpg", {}, {}},
};

TEST(Recognition, NameTableThroughThePreFilterAndTheScheme) {
    for (const auto& [name, expectedStyle, expectedId] : kNames) {
        SCOPED_TRACE(name);
        const auto style = NameFilter(name);
        EXPECT_EQ(style, expectedStyle);
        if (!style) continue;
        const auto userId = RecognizeUserId(name, *style);
        EXPECT_EQ(userId ? std::optional<std::string>(*userId) : std::nullopt, expectedId);
    }
}

// The first five pass the scheme's own tests; the short ones must not read past the end.
TEST(Recognition, NamesThePreFilterRejectsAreNeverRecognised) {
    const std::pair<const char*, std::int16_t> rejected[] = {
        {"N12345_678_901[1].jpg", L}, {"11234567_890_123[1].jpg", L}, {"n12345_67[1].jpeg", L},
        {"1111_222_333_444_555_n[1].JPG", D}, {"1111_222_333_444_555_n[1]5.jpg", D}, {"", L}, {"", D},
        {"a_", L}, {"_____", D}, {"a_[1].jpg", L}, {"[1].jpg", D}};
    for (const auto& [name, style] : rejected) EXPECT_EQ(RecognizeUserId(name, style), std::nullopt) << name;
}

}  // namespace
