// Any bytes as a cache2 entry file, in entries/ and in doomed/, and as a key: never a crash, a
// body placed only inside the file, and a note whenever no body is placed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cache/FirefoxCache.h"

using namespace snapsift;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryCacheSource source;
    const std::string name = "0352CAE71DC5E1DD21CA3ABCF906CE247863CD88";
    source.files[name] = std::string(reinterpret_cast<const char*>(data), size);
    for (const auto folder : {Cache2Folder::Entries, Cache2Folder::Doomed}) {
        const CacheContents contents = ReadCache2(source, name, folder);
        if (contents.entries.size() != 1) std::abort();
        const CacheEntry& entry = contents.entries[0];
        if (entry.body && (entry.body->offset != 0 || entry.body->length > size)) std::abort();
        if (!entry.body && entry.findings.Text().empty()) std::abort();
        if (entry.key.size() > size || entry.url.size() > entry.key.size()) std::abort();
        if (entry.deleted != (folder == Cache2Folder::Doomed)) std::abort();
    }
    const std::string_view key(reinterpret_cast<const char*>(data), size);
    if (const auto url = Cache2KeyUrl(key); url && url->size() >= size) std::abort();
    return 0;
}
