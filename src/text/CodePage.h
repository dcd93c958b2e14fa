// Single-byte code pages: UTF-8 text turned, once, into the bytes of a page that holds a
// character for each byte 0x80..0xFF it defines, and Windows-1252's table.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snapsift {

// The character that each byte 0x80..0xFF stands for in a single-byte code page, or 0 where
// the byte is no character on its own (undefined, or the lead byte of a double-byte code).
// Bytes 0x00..0x7F are ASCII in every such code page.
using CodePageUpperHalf = std::array<char32_t, 128>;

// The Windows-1252 upper half, with its five undefined bytes as 0.
const CodePageUpperHalf& Windows1252UpperHalf();

class SingleByteCodePage {
public:
    explicit SingleByteCodePage(const CodePageUpperHalf& upperHalf);

    // Every character of the UTF-8 text as its single-byte code, or nothing when a character
    // has no such code (or the text is not valid UTF-8).
    std::optional<std::string> Encode(std::string_view utf8) const;
    // The text in this code page for an HTML document: characters the code page cannot hold
    // become numeric character references ("&#28450;"); bytes that are not valid UTF-8 become
    // "&#xFFFD;" each, so nothing is lost silently.
    std::string EncodeHtml(std::string_view utf8) const;

private:
    // The byte for a non-ASCII character, or -1.
    int Find(char32_t codePoint) const;

    struct Entry {
        char32_t codePoint;
        unsigned char byte;
    };
    std::vector<Entry> entries_;  // code point -> byte for the upper half, sorted by code point
};

}  // namespace snapsift
