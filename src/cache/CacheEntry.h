// One entry of a browser's HTTP cache as a reader of its format found it: the key and the URL
// in it, what the cache records about the entry, and where the stored bytes of its body lie.
// The readers take a cache's files as bytes; every field of those bytes is taken as hostile.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cache/CacheFindings.h"
#include "text/DateTime.h"

namespace snapsift {

// ChromiumSql: Chromium's SQL cache ("sqldb<N>" shard databases); FirefoxLegacy, added last:
// Firefox's cache before cache2 (_CACHE_MAP_ and its block files).
enum class CacheFormat { ChromiumBlockfile, ChromiumSimple, FirefoxCache2, ChromiumSql, InternetExplorerIndexDat, FirefoxLegacy };

enum class EntryReached { ByIndex, ByWalkInUse, ByWalkInFreeBlocks };

// Where the stored bytes of an entry's body lie: a file of the cache folder, and where in it.
struct BodyPlace {
    std::string file;                    // its path below the cache folder: "data_2", "f_000012", "entries/3F2A..."
    std::uint64_t offset = 0;            // where the body's first byte is in that file
    std::uint64_t length = 0;            // how many bytes are stored
    std::optional<std::uint32_t> block;  // in a block file of the blockfile format: the first block's number
    bool operator==(const BodyPlace&) const = default;
};

struct CacheEntry {
    CacheFormat format = CacheFormat::ChromiumSimple;
    std::string key;  // as stored
    std::string url;  // taken from the key
    // What the cache records, in UTC; empty where the format or the entry keeps none.
    std::optional<DateTime> created, lastUsed, requestTime, responseTime;
    std::optional<std::uint32_t> fetchCount;
    // From the stored response: the status line ("HTTP/1.1 200 OK"), Content-Type and
    // Content-Encoding as sent; empty when not stored.
    std::string statusLine, contentType, contentEncoding;
    std::optional<BodyPlace> body;  // none when the entry keeps no body, or it cannot be placed
    bool deleted = false;           // an entry the browser had let go (doomed, evicted, to delete)
    Findings findings;              // what of the entry could not be read, or how it was read
    // Added at the end for Firefox's cache2, which records no creation time: when the browser
    // last wrote the entry (its metadata's "last modified", in UTC); in an index.dat, the server's
    // Last-Modified as the record keeps it. Empty where none is kept.
    std::optional<DateTime> lastModified;
    // Added at the end for Chromium's SQL cache, whose body lies in pieces in database rows, not
    // at a place in a file (`body` is none there): the stored bytes of the body, its pieces put
    // together in order; none where the format places the body in a file, or none was found.
    std::optional<std::string> bodyBytes;
    // Added for the stored response's own evidence: its Date, Last-Modified, Server, ETag and
    // Content-Length header values as sent (the first of each); empty when not stored.
    std::string date, serverLastModified, server, etag, contentLength;
    // The browser marked the stored response as cut short (Chromium's "truncated" flag): the
    // body it kept is not all that was to come.
    bool markedTruncated = false;
    // Chromium's blockfile cache counts the uses after the first fetch ("reuse count"; 0 means
    // fetched once), not fetches: kept here, never in fetchCount.
    std::optional<std::uint32_t> reuseCount;
    // The old cache's index.dat: the expiry and the last check against the server, as the
    // browser wrote them (to two seconds where it keeps a FAT date and time). Firefox's legacy
    // cache: the expiration its metadata keeps.
    std::optional<DateTime> expires, lastChecked;
    // How the entry was reached: through the cache's index, or, where a format's blocks are walked
    // too (index.dat), only by that walk, in blocks in use or in blocks set free.
    EntryReached reached = EntryReached::ByIndex;
};

}  // namespace snapsift
