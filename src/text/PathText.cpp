#include "text/PathText.h"
#include "text/Utf8.h"

#include <algorithm>

namespace snapsift {

std::string WithTrailingSeparator(std::string path) {
    if (path.empty() || !IsSeparator(path.back())) path.push_back(kSeparator);
    return path;
}

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && IsSeparator(path.back())) path.pop_back();
    return path;
}

namespace {

// What one character counts against the name limit: its bytes, or its UTF-16 code units on
// Windows (where the program's UTF-8 text is turned into UTF-16 for the system).
std::size_t NameUnits(const Utf8Character& character) {
#ifdef _WIN32
    return character.codePoint != kNotUtf8 && character.codePoint > 0xFFFF ? 2 : 1;
#else
    return character.length;
#endif
}

std::size_t NameLength(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Character character = DecodeUtf8(text, at);
        units += NameUnits(character);
        at += character.length;
    }
    return units;
}

}  // namespace

std::string FitNameLimit(std::string_view stem, std::string_view ending) {
    const std::size_t room = kNameLimit - std::min(NameLength(ending), kNameLimit);
    std::size_t kept = 0, units = 0;  // kept: bytes of stem that fit, ending at a character boundary
    while (kept < stem.size()) {
        const Utf8Character character = DecodeUtf8(stem, kept);
        if (units + NameUnits(character) > room) break;
        units += NameUnits(character);
        kept += character.length;
    }
    return std::string(stem.substr(0, kept)).append(ending);
}

std::filesystem::path PathFromText(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace snapsift
