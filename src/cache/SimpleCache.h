// Chromium's simple cache: one file per entry ("<16 hex digits>_0"), holding the key, the body
// (stream 1) and the stored HTTP response (stream 0), each stream closed by an end record; and
// index-dir/the-real-index, which keeps each entry's last-used time. Pure code over bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cache/CacheReader.h"

namespace snapsift {

// "<16 lower-case hex digits>_0"; or an entry the browser was deleting: a doomed entry,
// "todelete_<16 hex digits>_0_<doom generation>", or a file renamed before its deletion,
// "todelete_<16 hex digits>" (a random number there). Any other name (index,
// the-real-index, "_1" and "_s" files) is not an entry file.
bool IsSimpleEntryName(std::string_view fileName);

// The entry hash an entry file's name carries (the first 8 bytes of the key's SHA-1, read as a
// little-endian number); nothing for a name that carries none ("todelete_" and a random number).
std::optional<std::uint64_t> SimpleEntryHash(std::string_view fileName);

// The entry file `name` ("<hash>_0"); its body is placed in the file itself. Its last-used time
// is taken from index-dir/the-real-index when the source gives it (what is wrong with the index
// is no finding of the entry). When `wanted` is given, the file's head is read first, and no entry
// is given for a file that is none, or whose key is not wanted. An entry file that could not be
// read is given as an entry with no URL, and why. Never throws.
CacheContents ReadSimpleCache(CacheSource& files, std::string_view name, const CacheWanted& wanted = {});

struct SimpleIndexEntry {
    std::uint64_t hash = 0;             // as SimpleEntryHash gives it for the entry's file
    std::optional<DateTime> lastUsed;   // UTC
};

struct SimpleIndex {
    std::vector<SimpleIndexEntry> entries;
    std::optional<DateTime> written;  // when the browser wrote the index, UTC
    Findings findings;                // what could not be read, or how it was read; empty when all was read plainly
};

// index-dir/the-real-index.
SimpleIndex ReadSimpleIndex(std::span<const std::uint8_t> bytes);

// Whether bytes begin as a simple-cache entry file does (its magic number).
bool IsSimpleEntryStart(std::span<const std::uint8_t> head);

// The key of an entry file from its first bytes alone (its header and the key after it), for a
// reader that wants to know what an entry holds before it reads the rest; nothing when those
// bytes are no simple-cache entry's or do not hold the whole key.
std::optional<std::string> SimpleEntryKey(std::span<const std::uint8_t> head);

}  // namespace snapsift
