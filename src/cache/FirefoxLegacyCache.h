// Firefox's disk cache before cache2 (versions 1 to 31): a map, three block files and separate
// files, read from their bytes.
//
// All numbers are big-endian. _CACHE_MAP_ starts with a header of 276 bytes (version, data size,
// entry count, a dirty flag, the record count, then 32 eviction ranks and 32 bucket usages), then
// the records: 32 buckets of record count / 32 records each, 16 bytes a record (the key's hash,
// an eviction rank, the data's location and the metadata's). In a bucket only the first "usage"
// records are in use; a slot after them keeps what an evicted record left there.
//
// A location: the high bit set when it is given; bits 28-29 the file, 1 to 3 for _CACHE_001_ (256-
// byte blocks), _CACHE_002_ (1 KiB) and _CACHE_003_ (4 KiB), 0 for a separate file; for a block
// file, bits 24-25 the block count less one and the low 24 bits the first block; for a separate
// file, the low 8 bits its generation. A separate file is named by the hash, "d" (data) or "m"
// (metadata) and the generation in hexadecimal: "3/1A/2B3C4d01" from map version 1.19 on (the
// hash's first digit, its next two, its last five), "31A2B3C4d01" in the cache folder before.
//
// A block file starts with its allocation bitmap, a bit per block (in 32-bit big-endian words, the
// lowest bit first): 4 KiB in each file before version 1.19; from it 16 KiB, 4 KiB and 1 KiB.
//
// An entry's metadata: a 36-byte header (version, location, fetch count, last fetched, last
// modified, expiration, data size, key size, elements' size; times in seconds since 1970), the
// key with its NUL ("HTTP:http://..."), then NUL-separated name/value elements, among them
// "response-head".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cache/CacheReader.h"

namespace snapsift {

// Whether a file of a cache folder is one of the format's own: the map or a block file.
bool IsFirefoxLegacyCacheFileName(std::string_view name);

// The cache whose files `files` holds, read whole. Never throws. Entries come in the map's order
// (bucket by bucket), then those only the walk of the block files finds, file by file and block
// by block. Every block of the block files is looked at for an entry's metadata, whatever the
// bitmap says: one the map reaches is read once; one no record in use reaches (no map, a record
// evicted, blocks set free) is deleted, and says how it was found; where its body lies is then
// not known, unless an evicted record still says so. An entry's body is its data's block or
// separate file, of the data size its metadata gives; the body's file is read only for an entry
// `wanted` (every one when it is empty). lastUsed is the last fetch, lastModified the last write,
// expires the expiration; created stays empty. The cache's version is the map's ("1.19"), empty
// without a map this program reads; with no version and no entry the files are no such cache.
CacheContents ReadFirefoxLegacyCache(CacheSource& files, const CacheWanted& wanted = {});

// The URL in a key: the text after the client's prefix and its ':' ("HTTP:", "HTTP-memory-only:"),
// without the "anon&uri=", "id=<n>&uri=" or "anon&id=<n>&uri=" of an anonymous load or a POST
// before it. Nothing when the key holds no ':'.
std::optional<std::string> FirefoxLegacyKeyUrl(std::string_view key);

}  // namespace snapsift
