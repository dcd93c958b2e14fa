#include <gtest/gtest.h>

#include "platform/Utf8.h"

namespace snapsift {

TEST(Utf8, DecodesWellFormedSequencesAndTakesAnyOtherByteAlone) {
    const struct {
        const char* row;
        std::string_view text;
        std::size_t at;
        char32_t codePoint;
        std::size_t length;
    } cases[] = {
        {"ascii", "A", 0, 0x41, 1},
        {"after a character", "a\xC3\xA9", 1, 0xE9, 2},
        {"lowest of two bytes", "\xC2\x80", 0, 0x80, 2},
        {"overlong two bytes", "\xC1\xBF", 0, kNotUtf8, 1},
        {"lowest of three bytes", "\xE0\xA0\x80", 0, 0x800, 3},
        {"overlong three bytes", "\xE0\x9F\xBF", 0, kNotUtf8, 1},
        {"just below the surrogates", "\xED\x9F\xBF", 0, 0xD7FF, 3},
        {"surrogate", "\xED\xA0\x80", 0, kNotUtf8, 1},
        {"lowest of four bytes", "\xF0\x90\x80\x80", 0, 0x10000, 4},
        {"overlong four bytes", "\xF0\x8F\xBF\xBF", 0, kNotUtf8, 1},
        {"highest", "\xF4\x8F\xBF\xBF", 0, 0x10FFFF, 4},
        {"above the highest", "\xF4\x90\x80\x80", 0, kNotUtf8, 1},
        {"lead byte F5", "\xF5\x80\x80\x80", 0, kNotUtf8, 1},
        {"cut off by the end", std::string_view("\xE2\x82\xAC", 2), 0, kNotUtf8, 1},
        {"continuation byte alone", "\x80", 0, kNotUtf8, 1},
        {"no continuation where one belongs", "\xC3" "A", 0, kNotUtf8, 1},
    };
    for (const auto& c : cases) {
        const Utf8Character character = DecodeUtf8(c.text, c.at);
        EXPECT_EQ(character.codePoint, c.codePoint) << c.row;
        EXPECT_EQ(character.length, c.length) << c.row;
    }
}

}  // namespace snapsift
