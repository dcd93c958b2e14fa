// The simple-cache reader over any bytes as an entry file and its index: never a crash, one entry,
// a body placed only inside the bytes it was given, and an entry read whole has one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cache/SimpleCache.h"

using namespace snapsift;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte picks the name: one that matches no key, or one of a doomed entry. The same
    // bytes are the index, which gives a last-used time to an entry whose hash it holds.
    const std::string name = size > 0 && (data[0] & 1) ? "todelete_0123456789abcdef" : "cb9ca433c1a42445_0";
    MemoryCacheSource source;
    source.files[name] = source.files["index-dir/the-real-index"] = std::string(reinterpret_cast<const char*>(data), size);
    const CacheContents contents = ReadSimpleCache(source, name);
    if (contents.entries.size() != 1) std::abort();
    const CacheEntry& entry = contents.entries[0];
    if (entry.body && (entry.body->offset > size || entry.body->length > size - entry.body->offset)) std::abort();
    // An entry read with nothing to say has its body placed after its header and key.
    if (entry.findings.Text().empty() && (!entry.body || entry.body->offset != 24 + entry.key.size())) std::abort();
    return 0;
}
