#include "text/CodePage.h"
#include "text/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace snapsift {

namespace {

// Length of the leading run of ASCII bytes.
std::size_t AsciiPrefix(const unsigned char* p, std::size_t size) {
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < size && p[i] < 0x80) ++i;
    return i;
}

void AppendReference(std::string& out, char32_t codePoint) {
    out += "&#";
    out += std::to_string(static_cast<std::uint32_t>(codePoint));
    out += ';';
}

}  // namespace

const CodePageUpperHalf& Windows1252UpperHalf() {
    static constexpr CodePageUpperHalf kTable = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88
        0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98
        0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,
        0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
        0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
        0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
        0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
        0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
    };
    return kTable;
}

SingleByteCodePage::SingleByteCodePage(const CodePageUpperHalf& upperHalf) {
    for (std::size_t i = 0; i < upperHalf.size(); ++i)
        if (upperHalf[i] >= 0x80) entries_.push_back({upperHalf[i], static_cast<unsigned char>(0x80 + i)});
    std::sort(entries_.begin(), entries_.end(),
              [](const Entry& x, const Entry& y) { return x.codePoint < y.codePoint; });
}

int SingleByteCodePage::Find(char32_t codePoint) const {
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), codePoint,
                                     [](const Entry& e, char32_t cp) { return e.codePoint < cp; });
    return it != entries_.end() && it->codePoint == codePoint ? it->byte : -1;
}

std::optional<std::string> SingleByteCodePage::Encode(std::string_view utf8) const {
    const std::size_t ascii = AsciiPrefix(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size());
    std::string out(utf8.substr(0, ascii));
    if (ascii == utf8.size()) return out;
    for (std::size_t at = ascii; at < utf8.size();) {
        const Utf8Character character = DecodeUtf8(utf8, at);
        at += character.length;
        if (character.codePoint < 0x80) {
            out += static_cast<char>(character.codePoint);
            continue;
        }
        const int byte = character.codePoint == kNotUtf8 ? -1 : Find(character.codePoint);
        if (byte < 0) return std::nullopt;
        out += static_cast<char>(byte);
    }
    return out;
}

std::string SingleByteCodePage::EncodeHtml(std::string_view utf8) const {
    const auto* const bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    std::size_t ascii = AsciiPrefix(bytes, utf8.size());
    if (ascii == utf8.size()) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size() + 16);
    for (std::size_t at = 0;;) {
        out.append(utf8.substr(at, ascii));
        at += ascii;
        if (at == utf8.size()) return out;
        const Utf8Character character = DecodeUtf8(utf8, at);
        at += character.length;
        if (character.codePoint == kNotUtf8) {
            out += "&#xFFFD;";
        } else if (const int byte = Find(character.codePoint); byte >= 0) {
            out += static_cast<char>(byte);
        } else {
            AppendReference(out, character.codePoint);
        }
        ascii = AsciiPrefix(bytes + at, utf8.size() - at);
    }
}

}  // namespace snapsift
