#include "cli/ConsoleText.h"

#include "text/Utf8.h"

namespace snapsift::cli {

namespace {

// The text with every byte of what cannot be shown as itself written "\xHH"; CR LF taken as a
// line break when lineBreaks is set.
std::string ShownText(std::string_view text, bool lineBreaks) {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + 1);
    for (std::size_t at = 0; at < text.size();) {
        if (lineBreaks && text.substr(at).starts_with("\r\n")) {
            out += '\n';
            at += 2;
            continue;
        }
        const Utf8Character character = DecodeUtf8(text, at);
        const std::string_view bytes = text.substr(at, character.length);
        at += character.length;
        const char32_t code = character.codePoint;
        if (code == kNotUtf8 || (code < 0x80 && IsAsciiControl(static_cast<unsigned char>(code))) ||
            IsUnshowable(code)) {
            for (const char c : bytes) {
                const auto byte = static_cast<unsigned char>(c);
                out += "\\x";
                out += kHexDigits[byte >> 4];
                out += kHexDigits[byte & 0x0F];
            }
        } else {
            out += bytes;
        }
    }
    return out;
}

// The last `columns` characters of the text, with "..." in front when it had to be cut.
std::string Tail(const std::string& text, std::size_t columns) {
    if (CharacterCount(text) <= columns) return text;
    if (columns <= 3) return std::string(columns, '.');
    std::size_t start = text.size();
    for (std::size_t kept = 0; start > 0 && kept < columns - 3;) {
        --start;
        if (!IsContinuationByte(text[start])) ++kept;
    }
    return "..." + text.substr(start);
}

}  // namespace

std::string TerminalText(std::string_view text, bool lineBreaks) { return ShownText(text, lineBreaks) + '\n'; }

std::string ProgressLine(std::int32_t found, std::uint64_t examined, std::string_view path, std::size_t width) {
    std::string line = std::to_string(found) + " found, " + std::to_string(examined) + " examined: ";
    const std::size_t room = width > CharacterCount(line) + 1 ? width - 1 - CharacterCount(line) : 0;
    line += Tail(ShownText(path, false), room);
    if (CharacterCount(line) > width - 1) line = Tail(line, width - 1);
    return line;
}

}  // namespace snapsift::cli
