// The walk's name pre-filter and the recognition of both photo-name schemes with the user
// ID they carry: letter-first and digit-first.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace snapsift {

// Which scheme a file name is tested against.
enum class NameStyle : std::uint8_t { LetterFirst, DigitFirst };

// The whole text is a plain run of decimal digits (the empty text is not numeric).
bool IsNumeric(std::string_view text);

// The name style to test for a file name, or nothing when the walk ignores the file.
std::optional<NameStyle> NameFilter(std::string_view fileName);

// The user ID cut out of a candidate, a file name that NameFilter passed with nameStyle, or
// nothing when the name is not recognised. What the filter established (".jpg", the leading
// letter or digits) is not tested again. The ID is a view into fileName.
std::optional<std::string_view> RecognizeCandidate(std::string_view fileName, NameStyle nameStyle);

// The same for any file name: nothing unless NameFilter passes it with nameStyle.
std::optional<std::string_view> RecognizeUserId(std::string_view fileName, NameStyle nameStyle);

}  // namespace snapsift
