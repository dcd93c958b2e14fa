// The one rule by which every reader of the program's output sees a text: the report, the CSV
// and the terminal. What cannot be shown as itself is written "\xHH" per byte, so that two
// different names never look alike and no name can hide, reorder or move what comes after it;
// each medium adds only its own markup or quoting.
#pragma once

#include <string>
#include <string_view>

#include "text/PathText.h"
#include "text/Utf8.h"

namespace snapsift {

struct ShowRule {
    // A name's text (a file's, a URL, what a server sent), rather than the program's own (times,
    // counts, its messages' words): every character IsUnshowable names is written out too, and a
    // backslash is doubled so that "\x41" as text and an escaped byte never read the same.
    bool name = false;
    // In a name, the separator between the names of a path: a backslash that separates names is
    // written as it is. "/" for text that is no path of a volume.
    char separator = kSeparator;
    // The medium shows two spaces as one (a page): the second of two is written out.
    bool spacesCollapse = true;
};

// How one character of a text is shown.
enum class ShownAs {
    Itself,
    BytesWrittenOut,   // "\xHH" for each of its bytes
    DoubledBackslash,  // "\\"
};

// Calls show(bytes, how) for each character of the text in order: its bytes (one byte for what
// is not UTF-8) and how the rule shows it.
template <class Show>
void ForEachShownCharacter(std::string_view utf8, const ShowRule& rule, Show&& show) {
    for (std::size_t at = 0; at < utf8.size();) {
        const Utf8Character character = DecodeUtf8(utf8, at);
        const std::string_view bytes = utf8.substr(at, character.length);
        const bool repeatedSpace = rule.spacesCollapse && bytes == " " && at > 0 && utf8[at - 1] == ' ';
        at += character.length;
        const char32_t code = character.codePoint;
        if (code == kNotUtf8 || (code < 0x80 && IsAsciiControl(static_cast<unsigned char>(code))) ||
            (rule.name && (IsUnshowable(code) || repeatedSpace)))
            show(bytes, ShownAs::BytesWrittenOut);
        else if (code == '\\' && rule.name && rule.separator != '\\')
            show(bytes, ShownAs::DoubledBackslash);
        else
            show(bytes, ShownAs::Itself);
    }
}

// The text as the rule shows it, in UTF-8 without markup.
std::string ShownText(std::string_view utf8, const ShowRule& rule);

}  // namespace snapsift
