// Any bytes as a cache index (index.dat): never a crash, every record read once from inside the
// file, its strings no longer than the file, and a record's folder given only with its file.
//
// The input is read twice: as the file itself, and spread out, its first 1 KiB as the header (the
// allocation bitmap from 0x250 on) and the rest from 0x4000, where the blocks begin, with zeros
// between; so that small inputs reach the walk of the blocks. A record the walk finds starts a
// block, and one in free blocks is deleted.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <span>
#include <vector>

#include "cache/IndexDat.h"

using namespace snapsift;

namespace {

constexpr std::size_t kHeaderPart = 1024, kBlocksStart = 0x4000, kBlockSize = 128;

void Check(std::span<const std::uint8_t> bytes) {
    const IndexDatContents contents = ReadIndexDat(bytes);
    const std::size_t size = bytes.size();
    if (contents.folders.size() > 32 || contents.version.size() > 28) std::abort();
    std::set<std::uint64_t> offsets;
    for (const IndexDatRecord& record : contents.records) {
        if (record.offset >= size || !offsets.insert(record.offset).second) std::abort();
        if (record.url.size() >= size || record.fileName.size() >= size) std::abort();
        if (record.kind == IndexDatRecordKind::Leak && !record.deleted) std::abort();
        if (!record.folder.empty() && record.fileName.empty()) std::abort();
        if (record.kind == IndexDatRecordKind::Redirect && (!record.fileName.empty() || record.hitCount)) std::abort();
        if (record.unreachedByHashTable &&
            (record.offset < kBlocksStart || (record.offset - kBlocksStart) % kBlockSize != 0))
            std::abort();
        if (record.inFreeBlocks && (!record.unreachedByHashTable || !record.deleted)) std::abort();
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
