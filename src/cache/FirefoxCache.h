// Firefox's disk cache (cache2): one file of its entries/ or doomed/ folder, read from its bytes.
//
// An entry file holds the body as the browser stored it (as sent: a gzip body stays gzip), then
// the metadata, then a trailer. All numbers are big-endian. The trailer is the metadata's offset,
// which is also the stored data's length; since metadata version 4 a copy of that version comes
// before it, and the offset's high bit marks an encrypted entry. The metadata is a hash of the
// rest of it, a 2-byte hash of each 256 KiB chunk of the data, a header (version, fetch count,
// last fetched, last modified, frecency, expiration, key size and, from version 2, flags), the key
// with a NUL after it, and NUL-separated name/value pairs ("response-head", "request-method",
// "alt-data", ...). The file's name is the upper-case hexadecimal SHA-1 of the key.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cache/CacheReader.h"

namespace snapsift {

// Where an entry file lies: entries/ holds the live entries; doomed/ those the browser let go of
// and has not removed yet, named by a random decimal number.
enum class Cache2Folder { Entries, Doomed };

// Whether a file of that folder is an entry file: 40 upper-case hexadecimal digits in entries/,
// decimal digits in doomed/. The cache's other files ("ce_..." eviction marks, the index, its
// journal) are not.
bool IsCache2EntryFileName(std::string_view name, Cache2Folder folder = Cache2Folder::Entries);

// The entry file `name` of the source's folder (entries/ or doomed/, as `folder` says). Never
// throws. What a damaged or cut file still gives is kept, and the note says what could not be
// read; a file that could not be read is given as an entry with no URL, and why. Times: lastUsed
// is the last fetch, lastModified the last write of the entry (a 0, never set, gives none);
// created stays empty (the format records none), as do the request and response times. The body
// is this file from offset 0, up to the metadata or, for an entry holding alternative data after
// the response, up to that data; it is given once the metadata's header is found. The hashes are
// checked: the metadata's, each chunk's, and the file's name (in entries/ only: doomed/ names are
// random).
CacheContents ReadCache2(CacheSource& files, std::string_view name, Cache2Folder folder = Cache2Folder::Entries);

// The URL in a cache2 key: the text after the ':' that ends its tags ("O^partitionKey=...," for
// the origin attributes, "a," anonymous, "p," private, "~id," and other tags with values, a
// ",," standing for a comma in a value). Nothing when the tags cannot be read.
std::optional<std::string> Cache2KeyUrl(std::string_view key);

}  // namespace snapsift
