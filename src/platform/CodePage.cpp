#include "platform/CodePage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace snapsift {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes one UTF-8 character at p (p < end) and advances p past it. A byte that does not
// start a complete, shortest-form sequence of a scalar value gives kInvalid and advances
// by that one byte only.
char32_t DecodeUtf8(const unsigned char*& p, const unsigned char* end) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
        ++p;
        return lead;
    }
    std::size_t length;
    char32_t cp;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++p;
        return kInvalid;
    }
    if (static_cast<std::size_t>(end - p) < length) {
        ++p;
        return kInvalid;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            ++p;
            return kInvalid;
        }
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++p;
        return kInvalid;
    }
    p += length;
    return cp;
}

// Code point -> byte for the upper half of the report's code page, sorted by code point.
class UpperHalfIndex {
public:
    UpperHalfIndex() {
        const auto& half = detail::ReportCodePageUpperHalf();
        for (std::size_t i = 0; i < half.size(); ++i)
            if (half[i] >= 0x80) entries_.push_back({half[i], static_cast<unsigned char>(0x80 + i)});
        std::sort(entries_.begin(), entries_.end(),
                  [](const Entry& x, const Entry& y) { return x.codePoint < y.codePoint; });
    }
    // The byte for a non-ASCII character, or -1.
    int Find(char32_t codePoint) const {
        const auto it = std::lower_bound(entries_.begin(), entries_.end(), codePoint,
                                         [](const Entry& e, char32_t cp) { return e.codePoint < cp; });
        return it != entries_.end() && it->codePoint == codePoint ? it->byte : -1;
    }

private:
    struct Entry {
        char32_t codePoint;
        unsigned char byte;
    };
    std::vector<Entry> entries_;
};

const UpperHalfIndex& Index() {
    static const UpperHalfIndex index;
    return index;
}

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

const std::array<char32_t, 128>& detail::Windows1252UpperHalf() {
    static constexpr std::array<char32_t, 128> kTable = {
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

std::optional<std::string> ToReportCodePage(std::string_view utf8) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    const std::size_t ascii = AsciiPrefix(p, utf8.size());
    std::string out(utf8.substr(0, ascii));
    p += ascii;
    if (p == end) return out;
    const UpperHalfIndex& index = Index();
    while (p != end) {
        const char32_t cp = DecodeUtf8(p, end);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        const int byte = cp == kInvalid ? -1 : index.Find(cp);
        if (byte < 0) return std::nullopt;
        out += static_cast<char>(byte);
    }
    return out;
}

std::string ToReportCodePageHtml(std::string_view utf8) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    std::size_t ascii = AsciiPrefix(p, utf8.size());
    if (ascii == utf8.size()) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size() + 16);
    const UpperHalfIndex& index = Index();
    for (;;) {
        out.append(reinterpret_cast<const char*>(p), ascii);
        p += ascii;
        if (p == end) return out;
        const char32_t cp = DecodeUtf8(p, end);
        if (cp == kInvalid) {
            out += "&#xFFFD;";
        } else if (const int byte = index.Find(cp); byte >= 0) {
            out += static_cast<char>(byte);
        } else {
            AppendReference(out, cp);
        }
        ascii = AsciiPrefix(p, static_cast<std::size_t>(end - p));
    }
}

}  // namespace snapsift
