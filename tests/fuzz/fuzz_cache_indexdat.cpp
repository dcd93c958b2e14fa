// Any bytes as a cache index (index.dat): never a crash, each entry an index.dat's, its strings
// no longer than the file, its body a cached file "<folder>/<name>" with a name, and one in free
// blocks deleted.
//
// The input is read twice: as the file itself, and spread out, its first 1 KiB as the header (the
// allocation bitmap from 0x250 on) and the rest from 0x4000, where the blocks begin, with zeros
// between; so that small inputs reach the walk of the blocks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "cache/IndexDat.h"

using namespace snapsift;

namespace {

constexpr std::size_t kHeaderPart = 1024, kBlocksStart = 0x4000;

void Check(std::span<const std::uint8_t> bytes) {
    MemoryCacheSource files;
    files.files["index.dat"].assign(bytes.begin(), bytes.end());
    const CacheContents contents = ReadIndexDat(files, "index.dat");
    const std::size_t size = bytes.size();
    if (contents.folders.size() > 32 || contents.version.size() > 28) std::abort();
    for (const CacheEntry& entry : contents.entries) {
        if (entry.format != CacheFormat::InternetExplorerIndexDat || entry.url.size() >= size) std::abort();
        // "<folder>/<name>": a folder name of at most 8 characters, then a name of the file's bytes.
        if (entry.body && (entry.body->file.size() >= size + 9 || entry.body->file.find('/') + 1 >= entry.body->file.size()))
            std::abort();
        if (entry.reached == EntryReached::ByWalkInFreeBlocks && !entry.deleted) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Check(std::span<const std::uint8_t>(data, size));
    if (size > kHeaderPart) {
        std::vector<std::uint8_t> spread(kBlocksStart + size - kHeaderPart, 0);
        std::copy(data, data + kHeaderPart, spread.begin());
        std::copy(data + kHeaderPart, data + size, spread.begin() + kBlocksStart);
        Check(spread);
    }
    return 0;
}
