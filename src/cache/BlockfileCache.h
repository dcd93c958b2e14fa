// Chromium's blockfile cache (the format of Chrome and Edge on Windows) read from its files'
// bytes: the index with its hash table of cache addresses, the block files data_0.. that hold
// entries, rankings nodes and small streams, and the f_XXXXXX files of the larger streams.
// Every entry the hash table reaches is given, with its key, times, stored response headers and
// where its body lies. When the index cannot be used (missing, cut in its header, all zeros, or
// with another magic number), the entries are found in data_1's blocks instead. Nothing here
// reads a file: the caller hands over the bytes by name.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cache/CacheEntry.h"
#include "text/DateTime.h"

namespace snapsift {

// The bytes of one file of the cache folder by its name ("index", "data_1", "f_00000c"...);
// nothing when the folder has no such file. The bytes must stay valid while the reader runs.
using BlockfileFiles =
    std::function<std::optional<std::span<const std::uint8_t>>(std::string_view name)>;

// Why a file the folder holds could not be handed over ("it could not be opened: ..."); empty
// when the folder has no such file.
using BlockfileUnopened = std::function<std::string(std::string_view name)>;

// The cache as a whole: what its index header says, and every entry found.
//
// An entry's reuse count goes to reuseCount (never fetchCount). A body of no bytes is placed at
// the entry itself: the entry's block file and offset, length 0. An entry whose key does not
// give the hash it keeps says so in its note.
struct BlockfileCacheContents {
    std::uint32_t version = 0;      // 0x00030000 for 3.0
    std::uint32_t entryCount = 0;   // as the header counts them
    std::uint32_t tableLength = 0;  // buckets of the hash table actually read
    bool crashed = false;           // the browser did not close the cache cleanly
    std::optional<DateTime> created;
    std::vector<CacheEntry> entries;
    Findings findings;  // what of the index or the block files could not be read; empty when all was
    // The index could not be used (why, the note says first), and the entries were found by
    // reading data_1, and the files of 256-byte blocks it chains to, block by block: a block
    // starts an entry when its fields are plausible and its key hashes to the hash it keeps.
    // The index header's fields above are then left at 0. An entry found in blocks that the
    // file's allocation bitmap marks free (a sound header's) is given as deleted, with a note.
    bool indexUnusable = false;
};

// Whether an entry's streams (its stored response and its body) and its rankings node are
// wanted, asked once its key, and the URL in it, are read. An entry not wanted is given with what
// its key says; its body's place only where that lies in a block file read for another entry.
using BlockfileWanted = std::function<bool(const CacheEntry& entry)>;

// Every entry's streams are read when `wanted` is empty. A file not handed over is said to be
// missing, or `unopened`'s reason is given. Never throws.
BlockfileCacheContents ReadBlockfileCacheContents(const BlockfileFiles& files, const BlockfileWanted& wanted = {},
                                                  const BlockfileUnopened& unopened = {});

// The entries alone.
std::vector<CacheEntry> ReadBlockfileCache(const BlockfileFiles& files);

// Whether bytes begin as a blockfile cache's index does (its magic number).
bool IsBlockfileIndexStart(std::span<const std::uint8_t> head);

// Whether bytes begin as one of its block files (data_0, data_1...) does (their magic number).
bool IsBlockfileDataStart(std::span<const std::uint8_t> head);

// The file name of an external stream file: 1 → "f_000001".
std::string BlockfileExternalName(std::uint32_t number);

}  // namespace snapsift
