// Program text is UTF-8. One decoder reads it everywhere, so that the report writer, the code
// page conversion, recognition and the terminal never disagree about what a character is; and
// the byte tests and changes of ASCII that every layer shares.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace snapsift {

// The code point DecodeUtf8 gives for a byte that starts no well-formed sequence.
inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

struct Utf8Character {
    char32_t codePoint;  // or kNotUtf8
    std::size_t length;  // bytes taken: the whole sequence, or the one byte that starts none
};

// The character that starts at text[at] (at < text.size()). Well-formed means the shortest
// form, no surrogate, nothing above U+10FFFF and the whole sequence within the text; any other
// byte is kNotUtf8 on its own, and decoding goes on at the next byte.
Utf8Character DecodeUtf8(std::string_view text, std::size_t at);

// A byte 10xxxxxx: it continues a multi-byte sequence rather than starting a character.
constexpr bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The bytes that are no continuation bytes: the characters of well-formed text.
std::size_t CharacterCount(std::string_view text);

// An ASCII control character: 0x00 to 0x1F, or DEL.
constexpr bool IsAsciiControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// A character that a page cannot show as itself, or shows so that two different names look
// alike: the C0 and C1 controls and DEL; the bidirectional controls (U+061C, U+200E, U+200F,
// U+202A-U+202E, U+2066-U+2069); the default-ignorable characters that render as nothing
// (soft hyphen, joiners, variation selectors, fillers, tags and the like); and white space
// other than the plain space (U+00A0, U+1680, U+2000-U+200A, U+2028, U+2029, U+202F,
// U+205F, U+3000).
bool IsUnshowable(char32_t codePoint);

// The code point's bytes in UTF-8 (up to four) appended to `out`; a surrogate is written as its
// own three bytes, as any code point below 0x10000 is.
void AppendUtf8(std::string& out, char32_t code);

// The text with "A" to "Z" made lower case; every other byte as it was.
std::string LowerAscii(std::string text);

}  // namespace snapsift
