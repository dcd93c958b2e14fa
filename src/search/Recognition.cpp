#include "search/Recognition.h"

#include <cstddef>

#include "text/Utf8.h"

namespace snapsift {

namespace {

constexpr std::string_view kJpgSuffix = ".jpg";
// A name passed with the digit-first style has at least this many characters.
constexpr std::size_t kDigitFirstMinLength = 19;
// A recognised letter-first name has at least this many characters.
constexpr std::size_t kLetterFirstMinLength = 16;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Byte offset of the character that stands `fromEnd` characters before the end (1 = the
// last one), or npos when the text is shorter.
std::size_t OffsetFromEnd(std::string_view text, std::size_t fromEnd) {
    std::size_t offset = text.size();
    for (; fromEnd > 0; --fromEnd) {
        if (offset == 0) return std::string_view::npos;
        --offset;
        while (offset > 0 && IsContinuationByte(text[offset])) --offset;
    }
    return offset;
}

bool IsNumericCharacter(std::string_view text, std::size_t offset) {
    // A character is numeric exactly when it is one ASCII digit; a multi-byte one never is.
    return offset != std::string_view::npos && IsDigit(text[offset]);
}

std::optional<std::string_view> RecognizeLetterFirst(std::string_view name) {
    // Every test below fails on a byte outside ASCII (test 7 covers all bytes between the
    // leading letter and ".jpg"), so counting bytes gives the same outcome as counting
    // characters.
    const std::size_t length = name.size();
    const std::size_t underscore = name.find('_');
    if (underscore == std::string_view::npos) return std::nullopt;
    if (!IsNumeric(name.substr(1, 5))) return std::nullopt;
    if (length < 7) return std::nullopt;
    if (!IsDigit(name[length - 6])) return std::nullopt;  // position L-5
    if (name[length - 5] != ']') return std::nullopt;     // position L-4
    if (name[length - 7] != '[') return std::nullopt;     // position L-6
    if (length < kLetterFirstMinLength) return std::nullopt;
    for (std::size_t i = 1; i + 4 < length; ++i) {  // positions 2 to L-4
        const char c = name[i];
        if (!IsDigit(c) && !(c >= '[' && c <= '_')) return std::nullopt;
    }
    return name.substr(1, underscore - 1);
}

std::optional<std::string_view> RecognizeDigitFirst(std::string_view name) {
    constexpr int kFields = 5;
    constexpr int kUserIdField = 3;
    std::string_view userId;
    std::size_t start = 0;
    for (int field = 1; field <= kFields; ++field) {
        const std::size_t underscore = name.find('_', start);
        if (underscore == std::string_view::npos) return std::nullopt;
        const std::string_view text = name.substr(start, underscore - start);
        if (!IsNumeric(text)) return std::nullopt;
        if (field == kUserIdField) userId = text;
        start = underscore + 1;
    }
    return userId;
}

}  // namespace

bool IsNumeric(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!IsDigit(c)) return false;
    return true;
}

std::optional<NameStyle> NameFilter(std::string_view fileName) {
    if (!fileName.ends_with(kJpgSuffix)) return std::nullopt;
    const char first = fileName.front();
    if (first >= 'a' && first <= 'z') return NameStyle::LetterFirst;
    if (fileName.size() < kDigitFirstMinLength || CharacterCount(fileName) < kDigitFirstMinLength)
        return std::nullopt;
    if (!IsNumeric(fileName.substr(0, 4))) return std::nullopt;
    if (IsNumericCharacter(fileName, OffsetFromEnd(fileName, 8))) return std::nullopt;
    if (!IsNumericCharacter(fileName, OffsetFromEnd(fileName, 10))) return std::nullopt;
    return NameStyle::DigitFirst;
}

std::optional<std::string_view> RecognizeCandidate(std::string_view fileName, NameStyle nameStyle) {
    return nameStyle == NameStyle::LetterFirst ? RecognizeLetterFirst(fileName) : RecognizeDigitFirst(fileName);
}

std::optional<std::string_view> RecognizeUserId(std::string_view fileName, NameStyle nameStyle) {
    if (NameFilter(fileName) != nameStyle) return std::nullopt;
    return RecognizeCandidate(fileName, nameStyle);
}

}  // namespace snapsift
