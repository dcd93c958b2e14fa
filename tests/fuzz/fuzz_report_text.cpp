// Whatever a file name holds, the report's text for it carries no markup of its own: no "<",
// ">" or double quote, and "&" only as a reference. Read back, it gives the name's own bytes, and
// nothing in it shows as a control, a Windows-1252 stand-in or a direction change; the image
// source gives them back too. (The entries these texts go into: the report tests.)
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/CodePage.h"
#include "report/Report.h"

using namespace snapsift;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void AppendUtf8(std::string& out, char32_t c) {
    const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[tail] | (c >> (6 * tail)));
    for (int i = tail - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
}

// The byte of two upper-case hex digits at text[at], or -1.
int Hex(std::string_view text, std::size_t at) {
    const auto digit = [&](std::size_t i) -> int {
        const char c = i < text.size() ? text[i] : 0;
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -256;
    };
    return std::max(-1, digit(at) * 16 + digit(at + 1));
}

// Characters that a browser would show as nothing, as another character, or as a turn of
// direction, were they written as themselves.
bool ShowsFalsely(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0x061C || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

// The bytes a reader takes from a name's text: "\\" one backslash, "\xHH" one byte (their
// backslashes written "&#92;"), a reference its character, any other byte its Windows-1252
// character (bytes Windows-1252 leaves undefined show as a control).
std::string ReadBack(std::string_view text) {
    static constexpr std::pair<std::string_view, char> kMarkup[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::string_view rest = text.substr(i);
        char32_t shown = 0;
        if (rest.starts_with("&#92;&#92;") || rest.starts_with("&#92;x")) {
            const bool byte = rest[5] == 'x';
            Check(!byte || Hex(text, i + 6) >= 0);
            out += byte ? static_cast<char>(Hex(text, i + 6)) : '\\';
            i += byte ? 8 : 10;
            continue;
        } else if (const auto m = std::ranges::find_if(kMarkup, [&](auto& r) { return rest.starts_with(r.first); });
                   m != std::end(kMarkup)) {
            shown = static_cast<unsigned char>(m->second);
            i += m->first.size();
        } else if (rest.starts_with("&#")) {  // decimal digits and ";"
            std::size_t end = 2;
            for (; end < rest.size() && std::isdigit(static_cast<unsigned char>(rest[end])); ++end)
                shown = shown * 10 + static_cast<char32_t>(rest[end] - '0');
            Check(end > 2 && end < rest.size() && rest[end] == ';');
            i += end + 1;
        } else {  // no markup of its own, no backslash, no run of spaces
            const auto c = static_cast<unsigned char>(rest[0]);
            Check(c != '<' && c != '>' && c != '"' && c != '&' && c != '\\');
            Check(!(c == ' ' && !out.empty() && out.back() == ' '));
            shown = c < 0x80 ? c : Windows1252UpperHalf()[c - 0x80];
            ++i;
        }
        Check(!ShowsFalsely(shown));
        AppendUtf8(out, shown);
    }
    return out;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        Check(Hex(text, i + 1) >= 0);
        out += static_cast<char>(Hex(text, i + 1));
        i += 2;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string text = ReportText(input), source = ReportImageSource(input);
    Check(ReadBack(text) == input);
    Check(PercentDecoded(ReadBack(source)) == input);

    return 0;
}
