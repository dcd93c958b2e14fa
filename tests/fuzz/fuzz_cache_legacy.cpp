// Firefox's cache before cache2 over cache folders made from the input: the reader must not
// crash, every entry must be the format's, one no record in use reaches deleted, and every body
// place in a block file must start inside it and span no more than its four blocks.
//
// The input is a list of patches, each: a file number (the map, the three block files, a separate
// data and metadata file in either layout), a 4-byte offset, a 2-byte length and that many bytes.
// A file is zeros up to the end of its last patch, so that small inputs make block files with
// their bitmaps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "PatchedFiles.h"
#include "cache/FirefoxLegacyCache.h"

using namespace snapsift;

namespace {

constexpr const char* kNames[] = {"_CACHE_MAP_", "_CACHE_001_", "_CACHE_002_", "_CACHE_003_",
                                  "3/2A/2B3C5d01", "3/2A/2B3C5m01", "32A2B3C5d01", "32A2B3C5m01"};
constexpr std::size_t kMaxFileSize = 1u << 17;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryCacheSource source = fuzz::PatchedFiles(data, size, kNames, kMaxFileSize);
    const CacheContents contents = ReadFirefoxLegacyCache(source);
    for (const CacheEntry& entry : contents.entries) {
        if (entry.format != CacheFormat::FirefoxLegacy) std::abort();
        if (entry.reached != EntryReached::ByIndex && !entry.deleted) std::abort();
        if (!entry.body || !entry.body->block) continue;
        const auto file = source.files.find(entry.body->file);
        if (file == source.files.end() || entry.body->offset >= file->second.size() || entry.body->length > 4 * 4096)
            std::abort();
    }
    return 0;
}
