// Carving over any bytes as a run of 512-byte clusters: never a crash; each entry lies inside the
// run from a cluster boundary, apart from the others, its body inside it and nothing wrong with it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "cache/Carving.h"

using namespace snapsift;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kCluster = 512;
    const CarvedContents carved = CarveCacheEntries({data, size}, kCluster, size);
    if (carved.places.size() != carved.contents.entries.size()) std::abort();
    std::uint64_t free = 0;
    for (std::size_t i = 0; i < carved.places.size(); ++i) {
        const CarvedPlace& place = carved.places[i];
        const CacheEntry& entry = carved.contents.entries[i];
        if (place.offset % kCluster != 0 || place.offset < free || place.length > size - place.offset) std::abort();
        free = place.offset + place.length;
        if (!entry.body || !entry.bodyBytes || entry.body->offset < place.offset ||
            entry.body->offset + entry.body->length > free || entry.bodyBytes->size() != entry.body->length)
            std::abort();
        if (!entry.findings.Empty() || entry.url.empty() || entry.deleted) std::abort();
    }
    return 0;
}
