// The SQL-cache reader over any bytes as a shard database: it never crashes, every entry is the
// SQL cache's with its body in bytes (never placed in a file), no body is longer than the
// database, no more rows are read than the database has room for (the seed rows_in_circles, a
// damaged database of 5900 bytes whose pages run in circles, gave 123199), and bytes that are no
// SQLite database give a note and no entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "cache/SqlCache.h"

using namespace snapsift;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    MemoryCacheSource source;
    source.files["sqldb0"] = std::string(reinterpret_cast<const char*>(data), size);
    const CacheContents contents = ReadSqlCache(source, "sqldb0");
    if (contents.entries.size() > size / 16) std::abort();
    for (const CacheEntry& entry : contents.entries) {
        if (entry.format != CacheFormat::ChromiumSql || entry.body) std::abort();
        if (entry.bodyBytes && entry.bodyBytes->size() > size) std::abort();
    }
    if (!IsSqliteDatabaseStart(bytes) && (!contents.entries.empty() || contents.findings.Text().empty())) std::abort();
    return 0;
}
