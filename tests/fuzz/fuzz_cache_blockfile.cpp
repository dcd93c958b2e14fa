// The blockfile reader over cache folders made from the input: it must not crash, and every
// body place it gives must lie inside the file it names.
//
// The input is a list of patches, each: a file number (index, data_0..data_3, f_000001,
// f_000002), a 4-byte offset, a 2-byte length and that many bytes. A file is zeros up to the end
// of its last patch, so that small inputs make block files with their 8 KiB headers.
//
// Without an index that begins as one, the reader looks for entries in data_1's blocks, and takes
// a block only where the key it holds gives the hash stored before it: no mutation would find
// such a hash by chance. So that those entries are read on, every block of data_1 whose inline
// key is all there gets the hash of that key written into its first field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "PatchedFiles.h"
#include "cache/BlockfileCache.h"
#include "cache/ChromiumKeyHash.h"

using namespace snapsift;

namespace {

constexpr const char* kNames[] = {"index", "data_0", "data_1", "data_2", "data_3", "f_000001", "f_000002"};
constexpr std::size_t kMaxFileSize = 1u << 16;

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{static_cast<std::uint8_t>(bytes[at + i])} << (8 * i);
    return value;
}

void SealInlineKeys(std::string& data1) {
    constexpr std::size_t kHeader = 8192, kBlock = 256, kFields = 96, kMaxInlineKey = 4 * kBlock - kFields - 1;
    for (std::size_t at = kHeader; at + kFields <= data1.size(); at += kBlock) {
        const std::uint32_t keyLength = Get32(data1, at + 32);
        if (keyLength == 0 || keyLength > kMaxInlineKey || keyLength > data1.size() - at - kFields) continue;
        const std::uint32_t hash = ChromiumKeyHash(std::string_view(data1).substr(at + kFields, keyLength));
        for (std::size_t i = 0; i < 4; ++i) data1[at + i] = static_cast<char>(hash >> (8 * i));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryCacheSource source = fuzz::PatchedFiles(data, size, kNames, kMaxFileSize);
    std::map<std::string, std::string, std::less<>>& files = source.files;
    const auto index = files.find("index");
    const auto data1 = files.find("data_1");
    if (data1 != files.end() &&
        (index == files.end() || !IsBlockfileIndexStart(std::span(reinterpret_cast<const std::uint8_t*>(
                                                                      index->second.data()),
                                                                  index->second.size()))))
        SealInlineKeys(data1->second);
    const CacheContents contents = ReadBlockfileCache(source);
    for (const CacheEntry& entry : contents.entries) {
        // A block is taken for an entry only when its key gives its hash: never an empty key.
        if (!contents.indexUnusable.empty() && entry.key.empty()) std::abort();
        if (!entry.body) continue;
        const auto file = files.find(entry.body->file);
        if (file == files.end() || entry.body->offset > file->second.size() ||
            entry.body->length > file->second.size() - entry.body->offset)
            std::abort();
    }
    return 0;
}
