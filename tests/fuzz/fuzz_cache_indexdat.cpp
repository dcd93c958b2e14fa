// Any bytes as a cache index (index.dat): never a crash, every record read once from inside the
// file, its strings no longer than the file, and a record's folder given only with its file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <span>

#include "cache/IndexDat.h"

using namespace snapsift;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const IndexDatContents contents = ReadIndexDat(std::span<const std::uint8_t>(data, size));
    if (contents.folders.size() > 32 || contents.version.size() > 28) std::abort();
    std::set<std::uint64_t> offsets;
    for (const IndexDatRecord& record : contents.records) {
        if (record.offset >= size || !offsets.insert(record.offset).second) std::abort();
        if (record.url.size() >= size || record.fileName.size() >= size) std::abort();
        if (record.kind == IndexDatRecordKind::Leak && !record.deleted) std::abort();
        if (!record.folder.empty() && record.fileName.empty()) std::abort();
        if (record.kind == IndexDatRecordKind::Redirect && (!record.fileName.empty() || record.hitCount)) std::abort();
    }
    return 0;
}
