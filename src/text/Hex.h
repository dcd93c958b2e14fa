// Bytes and numbers as hexadecimal text: digests, byte escapes, offsets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace snapsift {

enum class HexCase { Upper, Lower };

// Two hex digits for the byte, appended.
inline void AppendHexByte(std::string& out, unsigned char byte, HexCase letters = HexCase::Upper) {
    const char* digits = letters == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

// Two hex digits a byte, in order.
inline std::string HexText(std::string_view bytes, HexCase letters = HexCase::Upper) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) AppendHexByte(text, static_cast<unsigned char>(c), letters);
    return text;
}
inline std::string HexText(const unsigned char* bytes, std::size_t size, HexCase letters = HexCase::Upper) {
    return HexText(std::string_view(reinterpret_cast<const char*>(bytes), size), letters);
}

// The 32-bit word's bytes, least significant first or (bigEndian) most significant first.
inline void AppendHexWord(std::string& out, std::uint32_t word, bool bigEndian, HexCase letters) {
    for (int i = 0; i < 4; ++i)
        AppendHexByte(out, static_cast<unsigned char>(word >> (bigEndian ? 24 - 8 * i : 8 * i)), letters);
}

// A number as "0x" and its lower-case digits, without leading zeros.
inline std::string HexNumber(std::uint64_t value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789abcdef"[value & 15]);
        value >>= 4;
    } while (value);
    return "0x" + digits;
}

}  // namespace snapsift
