// Firefox's cache before cache2 written for the tests: a map, the three block files with their
// allocation bitmaps, and separate files in the subfolders (or beside the map, before version
// 1.19), laid out as the browser lays them: each entry's metadata and body in the block file its
// size calls for, or a separate file, its blocks marked in use and a map record leading to it,
// unless it says otherwise. Every entry fetched 3 times, last at 2011-03-13 07:06:40, last
// modified at 04:20:00, with an expiration.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace snapsift::test {

struct LegacyEntrySource {
    std::string key;           // "HTTP:http://..."
    std::string responseHead;  // "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
    std::string body;          // as stored
    // Where the metadata and the body go: 1 to 3, a block file; 0, a separate file.
    std::uint32_t metaFile = 1, dataFile = 2;
    bool inMap = true;        // false: no map record leads to it
    bool evicted = false;     // its map record lies past its bucket's records in use
    bool markedInUse = true;  // false: the allocation bitmap marks its blocks free
};

struct LegacyCacheSource {
    std::uint32_t minor = 19;  // the map's version is 1.<minor>
    std::vector<LegacyEntrySource> entries;
};

struct WrittenLegacyCache {
    std::map<std::string, std::string> files;  // by their path below the cache folder, "/" between names
    std::vector<std::uint32_t> hashes;         // each entry's
};

WrittenLegacyCache WriteFirefoxLegacyCache(const LegacyCacheSource& source);

// A sample cache of the given map version: each place a body and its metadata can have (a body in
// a block of _CACHE_002_, a gzip body in _CACHE_003_, a body and metadata in separate files), a
// page that is no photo, a POST's key, an evicted record, and one no record reaches, in blocks set
// free.
inline const std::string kLegacyPhoto = "http://photos.quorvia.example/p/1111_222_3456789_444_555_n.jpg";
LegacyCacheSource SampleLegacyCache(std::uint32_t minor);
// Bytes that begin as a JPEG does.
std::string LegacyJpeg(std::size_t size);

}  // namespace snapsift::test
