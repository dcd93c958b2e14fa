// The blockfile reader over cache folders made from the input: it must not crash, and every
// body place it gives must lie inside the file it names.
//
// The input is a list of patches, each: a file number (index, data_0..data_3, f_000001,
// f_000002), a 4-byte offset, a 2-byte length and that many bytes. A file is zeros up to the end
// of its last patch, so that small inputs make block files with their 8 KiB headers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "cache/BlockfileCache.h"

using namespace snapsift;

namespace {

constexpr const char* kNames[] = {"index", "data_0", "data_1", "data_2", "data_3", "f_000001", "f_000002"};
constexpr std::size_t kMaxFileSize = 1u << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::map<std::string, std::string> files;
    std::size_t at = 0;
    while (size - at >= 7) {
        const char* name = kNames[data[at] % std::size(kNames)];
        const std::size_t offset =
            (data[at + 1] | data[at + 2] << 8 | data[at + 3] << 16 | std::size_t{data[at + 4]} << 24) % kMaxFileSize;
        std::size_t length = data[at + 5] | data[at + 6] << 8;
        at += 7;
        length = std::min({length, size - at, kMaxFileSize - offset});
        std::string& file = files[name];
        if (file.size() < offset + length) file.resize(offset + length);
        file.replace(offset, length, reinterpret_cast<const char*>(data + at), length);
        at += length;
    }
    const BlockfileFiles lookup = [&files](std::string_view name) -> std::optional<std::span<const std::uint8_t>> {
        const auto found = files.find(std::string(name));
        if (found == files.end()) return std::nullopt;
        return std::span(reinterpret_cast<const std::uint8_t*>(found->second.data()), found->second.size());
    };
    for (const CacheEntry& entry : ReadBlockfileCache(lookup)) {
        if (!entry.body) continue;
        const auto file = files.find(entry.body->file);
        if (file == files.end() || entry.body->offset > file->second.size() ||
            entry.body->length > file->second.size() - entry.body->offset)
            std::abort();
    }
    return 0;
}
