// The name filter and recognition, as the walk and the evidence entry call them, never crash,
// and cut out only an ID that the name's own rules allow.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "search/Recognition.h"

using namespace snapsift;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool IdCharacter(char c) { return (c >= '0' && c <= '9') || (c >= '[' && c <= '_'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const auto style = NameFilter(name);
    const auto id = style ? RecognizeCandidate(name, *style) : std::nullopt;
    if (!id) return 0;
    Check(name.size() >= 4 && name.substr(name.size() - 4) == ".jpg");
    // The ID is a view into the name itself.
    Check(id->data() >= name.data() && id->data() + id->size() <= name.data() + name.size());
    const std::size_t start = static_cast<std::size_t>(id->data() - name.data());
    if (*style == NameStyle::LetterFirst) {
        // Everything between the leading letter and the first "_": five digits, then digits and [\]^ only.
        Check(start == 1 && name.find('_') == 1 + id->size());
        Check(id->size() >= 5 && IsNumeric(id->substr(0, 5)));
        for (char c : *id) Check(IdCharacter(c) && c != '_');
    } else {
        // The third "_"-separated field, all digits, after two numeric fields.
        Check(!id->empty() && IsNumeric(*id));
        Check(start >= 4 && name[start - 1] == '_' && name[start + id->size()] == '_');
        const std::string_view before = name.substr(0, start - 1);
        const std::size_t split = before.find('_');
        Check(split != std::string_view::npos && before.find('_', split + 1) == std::string_view::npos);
        Check(IsNumeric(before.substr(0, split)) && IsNumeric(before.substr(split + 1)));
    }
    return 0;
}
