// The files of a browser's cache as the walk meets them: which names it hands over, and which
// cached URLs name a photo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>


namespace snapsift {

// A file that may belong to a cache, by its name alone; what it holds decides the rest.
enum class CacheFileKind {
    SimpleEntry,     // Chromium's simple cache: "<16 hex>_0", and "todelete_..." entries being deleted
    Cache2Entry,     // Firefox's cache2 entries/: 40 upper-case hex digits, the SHA-1 of the key
    Cache2Doomed,    // Firefox's cache2 doomed/: a decimal number, an entry the browser let go of
    BlockfileIndex,  // "index": a Chromium blockfile cache when its magic says so
    BlockfileEntries,  // "data_1": the same cache's entries, read block by block when its index is damaged
    SqlShard,        // Chromium's SQL cache: "sqldb<N>", an SQLite database of entries
    IndexDat,        // "index.dat": the old cache's record of the files in the folders beside it
    FirefoxLegacy,   // "_CACHE_MAP_", "_CACHE_001_".."_CACHE_003_": Firefox's cache before cache2
};

std::optional<CacheFileKind> CacheFileKindOf(std::string_view fileName);

// "sqldb0" .. "sqldb<N>": a shard of Chromium's SQL cache by its name.
bool IsSqlShardName(std::string_view fileName);

// The same, with the walk's quick test first: the lengths and first characters those names can
// have, so that the other files of a drive cost a comparison or two.
inline std::optional<CacheFileKind> CacheFileOf(std::string_view fileName) {
    const std::size_t size = fileName.size();
    const bool mayBe = size == 5 || size == 6 || size == 9 || size == 18 || size == 40 ||
                       (size == 11 && fileName.front() == '_') || (size > 9 && fileName.front() == 't') ||
                       (size >= 6 && size <= 15 && fileName.front() == 's') ||
                       (size <= 10 && size > 0 && fileName.front() >= '0' && fileName.front() <= '9');
    if (!mayBe) return std::nullopt;
    return CacheFileKindOf(fileName);
}

// A photo's name found in a cached URL, and the user ID it carries.
struct CachedPhoto {
    std::string name;    // the URL's last path segment, without query or fragment, percent-decoded
    std::string userId;
};

// The photo a cached URL names: its last path segment is recognised when the name the old cache
// would have given the file (with "[1]" before the extension) passes the name filter and
// recognition. Nothing for any other URL.
std::optional<CachedPhoto> PhotoOfCachedUrl(std::string_view url);

// A copy's file name for a photo found in a cache: the name without ".jpg", "-<number>.jpg"
// after it, and every character that a file name on Windows cannot hold (a URL may carry ":",
// "/" or "\") replaced by "_".
std::string CachedPhotoCopyName(std::string_view photoName, std::int32_t number);

}  // namespace snapsift
