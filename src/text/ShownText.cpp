#include "text/ShownText.h"

#include <algorithm>

#include "text/Hex.h"

namespace snapsift {

std::string ShownText(std::string_view utf8, const ShowRule& rule) {
    // Most text is printable ASCII with nothing to write out: taken as it is.
    const bool plain = std::all_of(utf8.begin(), utf8.end(), [&](char c) {
        return c >= 0x20 && c < 0x7F && !(rule.name && c == '\\' && rule.separator != '\\');
    });
    if (plain && !(rule.name && rule.spacesCollapse && utf8.find("  ") != std::string_view::npos))
        return std::string(utf8);
    std::string shown;
    shown.reserve(utf8.size());
    ForEachShownCharacter(utf8, rule, [&](std::string_view bytes, ShownAs how) {
        switch (how) {
        case ShownAs::Itself: shown += bytes; break;
        case ShownAs::DoubledBackslash: shown += "\\\\"; break;
        case ShownAs::BytesWrittenOut:
            for (const char c : bytes) {
                shown += "\\x";
                AppendHexByte(shown, static_cast<unsigned char>(c));
            }
        }
    });
    return shown;
}

}  // namespace snapsift
