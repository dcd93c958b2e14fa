// Whatever a file name holds, the report's text for it is valid in the report's code page
// and carries no markup of its own: no "<", ">" or double quote, and "&" only as a reference.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "search/Report.h"

using namespace snapsift;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Bytes that Windows-1252 leaves undefined.
bool Undefined1252(unsigned char c) { return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D; }

// Every "&" opens one of the references the writer makes.
void CheckReferences(std::string_view text) {
    for (std::size_t i = text.find('&'); i != std::string_view::npos; i = text.find('&', i + 1)) {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with("&amp;") || rest.starts_with("&lt;") || rest.starts_with("&gt;") ||
            rest.starts_with("&quot;"))
            continue;
        Check(rest.starts_with("&#"));
        std::size_t j = 2;
        const bool hex = rest.size() > 2 && rest[2] == 'x';
        if (hex) ++j;
        const std::size_t digitsStart = j;
        while (j < rest.size() && (hex ? std::isxdigit(static_cast<unsigned char>(rest[j]))
                                       : std::isdigit(static_cast<unsigned char>(rest[j]))))
            ++j;
        Check(j > digitsStart && j < rest.size() && rest[j] == ';');
    }
}

void CheckText(std::string_view text) {
    for (unsigned char c : text) {
        Check(c != '<' && c != '>' && c != '"');
        Check(!Undefined1252(c));
    }
    CheckReferences(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckText(ReportText(input));
    CheckText(ReportImageSource(input));

    // A whole entry: its own markup is fixed; the inserted values add none.
    ReportEntry entry;
    entry.fullPath = std::string("/cache/") + std::string(input);
    entry.fileName = std::string(input);
    entry.digest = "d41d8cd98f00b204e9800998ecf8427e";
    entry.userId = std::string(input.substr(0, 16));
    entry.copyFileName = std::string(input) + "-1.jpg";
    const std::string lines = FormatReportEntry(entry);
    std::size_t tags = 0;
    for (char c : lines) tags += (c == '<');
    const std::string plain = FormatReportEntry(ReportEntry{"/p", "n", false, {}, {}, {}, "d", "1", std::string("c")});
    std::size_t plainTags = 0;
    for (char c : plain) plainTags += (c == '<');
    Check(tags == plainTags);
    return 0;
}
