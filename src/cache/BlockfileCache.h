// Chromium's blockfile cache (the format of Chrome and Edge on Windows) read from its files'
// bytes: the index with its hash table of cache addresses, the block files data_0.. that hold
// entries, rankings nodes and small streams, and the f_XXXXXX files of the larger streams.
// Every entry the hash table reaches is given, with its key, times, stored response headers and
// where its body lies. When the index cannot be used (missing, cut in its header, all zeros, or
// with another magic number), the entries are found in data_1's blocks instead. Nothing here
// reads a file: its source hands over the bytes by name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cache/CacheReader.h"
#include "text/DateTime.h"

namespace snapsift {

// The cache in `files` (its "index", "data_1".., "f_00000c"..): every entry the index's hash
// table reaches, or, when the index cannot be used (indexUnusable says why), every entry found by
// reading data_1, and the files of 256-byte blocks it chains to, block by block: a block starts an
// entry when its fields are plausible and its key hashes to the hash it keeps. An entry found in
// blocks that the file's allocation bitmap marks free (a sound header's) is given as deleted,
// with a note.
//
// An entry's reuse count goes to reuseCount (never fetchCount). A body of no bytes is placed at
// the entry itself: the entry's block file and offset, length 0. An entry whose key does not give
// the hash it keeps says so in its note. An entry not wanted is given with what its key says; its
// body's place only where that lies in a block file read for another entry. A file that is not
// there is said to be missing, one that will not open with why. Never throws.
CacheContents ReadBlockfileCache(CacheSource& files, const CacheWanted& wanted = {});

// Whether bytes begin as a blockfile cache's index does (its magic number).
bool IsBlockfileIndexStart(std::span<const std::uint8_t> head);

// Whether bytes begin as one of its block files (data_0, data_1...) does (their magic number).
bool IsBlockfileDataStart(std::span<const std::uint8_t> head);

// The file name of an external stream file: 1 → "f_000001".
std::string BlockfileExternalName(std::uint32_t number);

}  // namespace snapsift
