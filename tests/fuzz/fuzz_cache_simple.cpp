// The simple-cache reader over any bytes: an entry file and an index never crash the reader,
// a body it places always lies inside the bytes it was given, and an entry read whole has one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "cache/SimpleCache.h"

using namespace snapsift;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    // The first byte picks the name: one that matches no key, or one of a doomed entry.
    const CacheEntry entry =
        ReadSimpleEntry(size > 0 && (data[0] & 1) ? "todelete_0123456789abcdef" : "cb9ca433c1a42445_0", bytes);
    if (entry.body && (entry.body->offset > size || entry.body->length > size - entry.body->offset)) std::abort();
    // An entry read with nothing to say has its body placed after its header and key.
    if (entry.findings.Text().empty() && (!entry.body || entry.body->offset != 24 + entry.key.size())) std::abort();
    const SimpleIndex index = ReadSimpleIndex(bytes);
    if (index.entries.size() > size / 24) std::abort();
    return 0;
}
