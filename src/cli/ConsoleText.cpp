#include "cli/ConsoleText.h"

#include "text/ShownText.h"
#include "text/Utf8.h"

namespace snapsift::cli {

namespace {

// The text as the terminal shows it: the names' rule, without writing out a second space (a
// terminal shows every one); CR LF taken as a line break when lineBreaks is set.
std::string TerminalShown(std::string_view text, bool lineBreaks, char separator) {
    const ShowRule rule{true, separator, false};
    if (!lineBreaks) return ShownText(text, rule);
    std::string out;
    for (std::size_t at = 0;;) {
        const std::size_t lineEnd = text.find("\r\n", at);
        out += ShownText(text.substr(at, lineEnd - at), rule);
        if (lineEnd == std::string_view::npos) return out;
        out += '\n';
        at = lineEnd + 2;
    }
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

std::string TerminalText(std::string_view text, bool lineBreaks, char separator) {
    return TerminalShown(text, lineBreaks, separator) + '\n';
}

namespace {

// "<counts>: " and as much of the path's end as fits into width - 1 columns.
std::string CountsAndPath(std::string line, std::string_view path, std::size_t width, char separator) {
    line += ": ";
    const std::size_t room = width > CharacterCount(line) + 1 ? width - 1 - CharacterCount(line) : 0;
    line += Tail(TerminalShown(path, false, separator), room);
    if (CharacterCount(line) > width - 1) line = Tail(line, width - 1);
    return line;
}

}  // namespace

std::string ProgressLine(std::int32_t found, std::uint64_t examined, std::string_view path, std::size_t width,
                         char separator) {
    return CountsAndPath(std::to_string(found) + " found, " + std::to_string(examined) + " examined", path, width,
                         separator);
}

std::string CarvingProgressLine(std::int32_t found, std::uint64_t bytesRead, std::uint64_t bytesTotal,
                                std::string_view area, std::size_t width) {
    constexpr std::uint64_t kMegabyte = 1 << 20;
    const std::string counts = std::to_string(found) + " found, " + std::to_string(bytesRead / kMegabyte) + " of " +
                               std::to_string(bytesTotal / kMegabyte) + " MB of unallocated space read";
    return CountsAndPath(counts, area, width, '\\');
}

}  // namespace snapsift::cli
