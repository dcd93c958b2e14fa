// Chromium's SQL cache: a cache folder of shard databases, "sqldb0" to "sqldb<N>", each an SQLite
// database with a `resources` table (one row per entry: its key, the stored HTTP response in
// `head`, when it was last used, whether it is doomed) and a `blobs` table (the body in pieces,
// each with its `start` and `end` offsets in the body). One shard is read here, from its bytes
// held in memory: SQLite opens a private copy of them as an in-memory database, read-only, so
// that nothing (no journal, WAL or lock file, no temporary file) is made anywhere.
//
// A shard's "-journal" or "-wal" sibling is opened, never read: rows a WAL holds that were not yet
// copied back into the main file are not in the shard's bytes, and a non-empty rollback journal
// means the main file may hold half of an unfinished change (unfinishedChange says so). A shard
// whose header says it is in WAL mode is read as its main file alone, and its findings say so: as
// damage, unless there is no "-wal" sibling or an empty one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cache/CacheReader.h"

namespace snapsift {

// Whether bytes begin as an SQLite database does ("SQLite format 3" and a NUL). Here, not with
// the reader, so that a build without SQLite still knows an SQL cache when it meets one.
inline bool IsSqliteDatabaseStart(std::span<const std::uint8_t> head) {
    constexpr std::string_view kMagic{"SQLite format 3\0", 16};
    return head.size() >= kMagic.size() &&
           std::equal(kMagic.begin(), kMagic.end(), head.begin(),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

// Whether a database's header says it is in WAL mode (its read or write version is 2).
inline bool IsSqliteWalMode(std::span<const std::uint8_t> head) {
    return head.size() >= 20 && (head[18] == 2 || head[19] == 2);
}

// The shard database `shardName` ("sqldb0"), which names it and its siblings in notes: every row
// of `resources`, in res_id order, doomed ones too (deleted). Each entry's body is in bodyBytes
// (its `body` place is none): its pieces put together in `start` order, when they run from byte 0
// without a gap or an overlap; else the run from byte 0 as far as it goes, said in the entry's
// note. A row whose cache_key does not give its cache_key_hash (ChromiumKeyHash) says so in its
// entry's note. No entry for a shard that will not open. Never throws, never writes anything.
CacheContents ReadSqlCache(CacheSource& files, std::string_view shardName);

}  // namespace snapsift
