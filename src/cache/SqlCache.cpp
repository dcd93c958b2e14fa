#include "cache/SqlCache.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <optional>

#include <sqlite3.h>

#include "cache/CacheBytes.h"
#include "cache/ChromiumKeyHash.h"
#include "cache/ResponseInfo.h"

namespace snapsift {

namespace {

using namespace cachebytes;

constexpr std::size_t kDatabaseHeaderSize = 100;

// What is beside the shard: its "-wal" sibling as far as is known (Unknown), or none, or an empty
// one (AbsentOrEmpty: the main file holds every row).
enum class SqlWal { Unknown, AbsentOrEmpty };

// A bound on the work a database may ask of SQLite: a progress check every kStepsPerCheck of its
// steps, and a number of checks that grows with the database's size, so that a hostile schema or
// a looping page chain stops instead of running on.
constexpr int kStepsPerCheck = 1000;
constexpr std::uint64_t kChecksAtLeast = 2000, kBytesPerCheck = 64;
// Every row of `resources` takes more than this many bytes of a sound database.
constexpr std::size_t kSmallestRow = 16;

// The checksum the cache keeps beside a head or a body piece: CRC-32 of its bytes followed by
// the key's 32-bit hash, big-endian.
std::uint32_t ChecksumWithKeyHash(Bytes bytes, std::int64_t keyHash) {
    const auto hash = static_cast<std::uint32_t>(keyHash);
    const std::uint8_t tail[4] = {static_cast<std::uint8_t>(hash >> 24), static_cast<std::uint8_t>(hash >> 16),
                                  static_cast<std::uint8_t>(hash >> 8), static_cast<std::uint8_t>(hash)};
    return Crc32(tail, Crc32(bytes));
}

struct Connection {
    sqlite3* db = nullptr;
    std::uint64_t checksLeft = 0;
    // The bytes of keys, heads and body pieces read so far, against the database's size: values
    // are stored once each, so a sound database never gives more (a damaged one whose pages run
    // in circles gives the same rows again and again).
    std::uint64_t valueBytes = 0, databaseSize = 0;
    bool Overrun() const { return valueBytes > databaseSize; }
    ~Connection() { sqlite3_close(db); }
};

struct Statement {
    sqlite3_stmt* statement = nullptr;
    ~Statement() { sqlite3_finalize(statement); }
};

int CountDown(void* connection) {
    auto& left = static_cast<Connection*>(connection)->checksLeft;
    if (left == 0) return 1;
    --left;
    return 0;
}

// What a failed step or preparation says: SQLite's message, or the bound on work.
std::string Failure(const Connection& connection, int code) {
    if (code == SQLITE_INTERRUPT) return "the database asks for more work than its size warrants";
    return sqlite3_errmsg(connection.db);
}

std::optional<std::int64_t> ColumnInteger(sqlite3_stmt* row, int column) {
    if (sqlite3_column_type(row, column) != SQLITE_INTEGER) return std::nullopt;
    return sqlite3_column_int64(row, column);
}

// A blob's bytes, or a text's in UTF-8.
Bytes ColumnBytes(Connection& connection, sqlite3_stmt* row, int column) {
    const void* data = sqlite3_column_type(row, column) == SQLITE_TEXT ? sqlite3_column_text(row, column)
                                                                       : sqlite3_column_blob(row, column);
    const int size = sqlite3_column_bytes(row, column);
    if (data == nullptr || size <= 0) return {};
    connection.valueBytes += static_cast<std::size_t>(size);
    return {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)};
}

// The body's pieces, in `start` order, put together as far as they run on from byte 0.
void ReadBody(Connection& connection, sqlite3_stmt* pieces, std::int64_t resourceId,
              std::optional<std::int64_t> bodyEnd, std::optional<std::int64_t> keyHash, CacheEntry& entry) {
    sqlite3_reset(pieces);
    sqlite3_bind_int64(pieces, 1, resourceId);
    std::string body;
    std::optional<std::string> broken;  // why the pieces stop running on, when they do
    std::size_t checksumsWrong = 0;
    std::string firstWrong;
    int code;
    while ((code = sqlite3_step(pieces)) == SQLITE_ROW) {
        const auto start = ColumnInteger(pieces, 0), end = ColumnInteger(pieces, 1);
        const auto checksum = ColumnInteger(pieces, 3);
        const int type = sqlite3_column_type(pieces, 2);
        const Bytes bytes = ColumnBytes(connection, pieces, 2);
        const std::string at = start ? std::to_string(*start) : std::string("?");
        if (keyHash && checksum && type == SQLITE_BLOB &&
            ChecksumWithKeyHash(bytes, *keyHash) != static_cast<std::uint32_t>(*checksum) && checksumsWrong++ == 0)
            firstWrong = at;
        if (broken) continue;
        const auto kept = std::to_string(body.size());
        if (!start || !end)
            broken = "a body piece's start or end is not a number";
        else if (type != SQLITE_BLOB)
            broken = "the body piece at byte " + at + " is not a blob";
        else if (*start < 0 || *end < *start || static_cast<std::uint64_t>(*end - *start) != bytes.size())
            broken = "the body piece at byte " + at + " holds " + std::to_string(bytes.size()) +
                     " bytes, its end says " + std::to_string(*end);
        else if (*start > static_cast<std::int64_t>(body.size()))
            broken = "a gap from byte " + kept + " to byte " + at;
        else if (*start < static_cast<std::int64_t>(body.size()))
            broken = "the body piece at byte " + at + " overlaps the one before it";
        else if (connection.Overrun())
            broken = "its pieces run past the size of the database";
        else
            body.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    if (code != SQLITE_DONE && !broken)
        broken = "body pieces after byte " + std::to_string(body.size()) + " not read: " + Failure(connection, code);
    sqlite3_reset(pieces);
    if (checksumsWrong == 1) entry.findings.Add(Damaged,
                                                "body piece at byte " + firstWrong + ": its checksum does not match");
    if (checksumsWrong > 1)
        entry.findings.Add(Damaged,
                           std::to_string(checksumsWrong) + " body pieces' checksums do not match, the first at byte " +
                           firstWrong);
    if (broken) {
        entry.findings.Add(Damaged, "body: " + *broken + "; " +
                           (body.empty() ? std::string("no body kept")
                           : "only its first " + std::to_string(body.size()) + " bytes kept"));
    } else if (bodyEnd && *bodyEnd != static_cast<std::int64_t>(body.size())) {
        entry.findings.Add(Damaged, "body: its pieces hold " + std::to_string(body.size()) + " bytes, body_end says " +
                           std::to_string(*bodyEnd));
        // The browser reads a body up to body_end, never past it.
        if (*bodyEnd >= 0 && *bodyEnd < static_cast<std::int64_t>(body.size()))
            body.resize(static_cast<std::size_t>(*bodyEnd));
    }
    if (!body.empty() || !broken) entry.bodyBytes = std::move(body);
}

CacheEntry ReadResource(Connection& connection, sqlite3_stmt* row, sqlite3_stmt* pieces) {
    CacheEntry entry;
    entry.format = CacheFormat::ChromiumSql;
    // res_id, cache_key, head, last_used, doomed, body_end, cache_key_hash, check_sum
    const auto resourceId = ColumnInteger(row, 0);
    const int keyType = sqlite3_column_type(row, 1);
    switch (keyType) {
    case SQLITE_TEXT: {
        const Bytes key = ColumnBytes(connection, row, 1);
        entry.key.assign(reinterpret_cast<const char*>(key.data()), key.size());
        break;
    }
    case SQLITE_BLOB: {
        const Bytes key = ColumnBytes(connection, row, 1);
        entry.key.assign(reinterpret_cast<const char*>(key.data()), key.size());
        entry.findings.Add(Note, "cache_key is a blob, not text: read as its bytes");
        break;
    }
    default: entry.findings.Add(Damaged, "cache_key is not text: no key");
    }
    if (!entry.key.empty()) entry.url = UrlFromChromiumKey(entry.key);

    const auto keyHash = ColumnInteger(row, 6), checksum = ColumnInteger(row, 7);
    if (keyType == SQLITE_TEXT || keyType == SQLITE_BLOB) {
        // Kept as a signed 32-bit number; the same 32 bits taken as unsigned are let pass.
        const std::uint32_t hash = ChromiumKeyHash(entry.key);
        if (!keyHash)
            entry.findings.Add(Damaged, "cache_key_hash is not a number");
        else if (*keyHash != static_cast<std::int32_t>(hash) && *keyHash != static_cast<std::int64_t>(hash))
            entry.findings.Add(Damaged, "the key does not match its stored hash");
    }
    switch (sqlite3_column_type(row, 2)) {
    case SQLITE_BLOB: {
        const Bytes head = ColumnBytes(connection, row, 2);
        if (keyHash && checksum && ChecksumWithKeyHash(head, *keyHash) != static_cast<std::uint32_t>(*checksum))
            entry.findings.Add(Damaged, "the head's checksum does not match");
        ReadChromiumResponseInfo(head, "the head", entry);
        break;
    }
    case SQLITE_NULL: entry.findings.Add(Damaged, "no stored response: the head is empty"); break;
    default: entry.findings.Add(Damaged, "no stored response: the head is not a blob");
    }

    if (const auto lastUsed = ColumnInteger(row, 3); lastUsed && *lastUsed >= 0)
        entry.lastUsed = ChromiumTime(static_cast<std::uint64_t>(*lastUsed));
    else
        entry.findings.Add(Damaged, "last_used is not a time");
    if (const auto doomed = ColumnInteger(row, 4)) entry.deleted = *doomed != 0;
    else entry.findings.Add(Damaged, "doomed is not a number");
    const auto bodyEnd = ColumnInteger(row, 5);
    if (!bodyEnd) entry.findings.Add(Damaged, "body_end is not a number");
    if (!resourceId) {
        entry.findings.Add(Damaged, "res_id is not a number: no body");
        return entry;
    }
    if (pieces) ReadBody(connection, pieces, *resourceId, bodyEnd, keyHash, entry);
    else entry.findings.Add(Damaged, "no body: the blobs table cannot be read");
    return entry;
}

CacheContents Read(Bytes bytes, std::string_view fileName, SqlWal wal) {
    CacheContents contents;
    if (bytes.size() < kDatabaseHeaderSize) {
        contents.findings.Add(Damaged,
                              "cut short: " + std::to_string(bytes.size()) + " bytes, no whole database header");
        return contents;
    }
    if (!IsSqliteDatabaseStart(bytes)) {
        contents.findings.Add(Damaged, "not an SQLite database: wrong magic");
        return contents;
    }
    // SQLite reads this copy in place; it outlives the connection below.
    std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    // The header's page count holds when its "valid for" number matches the change counter. In a
    // file cut short it counts pages that are not there, and SQLite would take the whole database
    // as malformed: the copy counts the whole pages the file holds, so that their rows are read.
    const std::uint32_t pageSize = BigEndian16(bytes, 16) == 1 ? 65536u : BigEndian16(bytes, 16);
    if (pageSize >= 512 && (pageSize & (pageSize - 1)) == 0 && BigEndian32(bytes, 24) == BigEndian32(bytes, 92)) {
        const std::uint64_t pages = BigEndian32(bytes, 28);
        if (pages * pageSize > bytes.size()) {
            contents.findings.Add(Damaged, "cut short: its header counts " + std::to_string(pages) + " pages of " +
                                  std::to_string(pageSize) + " bytes, the file holds " +
                                  std::to_string(bytes.size()) + " bytes");
            const std::uint64_t held = bytes.size() / pageSize;
            for (int i = 0; i < 4; ++i) copy[28 + i] = static_cast<unsigned char>(held >> (24 - 8 * i));
            if (held > 0) copy.resize(held * pageSize);
        }
    }
    if (IsSqliteWalMode(bytes)) {
        // With no WAL beside it (or an empty one) the main file holds every row.
        contents.findings.Add(wal == SqlWal::AbsentOrEmpty ? Note : Damaged,
                              "in WAL mode: read as its main file alone; rows still in " + std::string(fileName) +
                              "-wal are not read");
        copy[18] = copy[19] = 1;  // an in-memory database cannot be opened in WAL mode
    }

    Connection connection;
    if (sqlite3_open_v2(":memory:", &connection.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr) != SQLITE_OK) {
        contents.findings.Add(Damaged, "not read: SQLite could not open an in-memory database");
        return contents;
    }
    // Whatever the database's schema asks for, nothing runs but the reads below. A schema row
    // that is damaged, or whose table lies past the end of a file cut short, is passed over
    // (writable_schema, which the connection cannot use to write: the database is read-only) so
    // that the other tables are still read.
    sqlite3_db_config(connection.db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(connection.db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_db_config(connection.db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_exec(connection.db, "PRAGMA temp_store=MEMORY; PRAGMA cell_size_check=ON; PRAGMA writable_schema=ON",
                 nullptr, nullptr, nullptr);
    const auto size = static_cast<sqlite3_int64>(copy.size());
    if (const int code = sqlite3_deserialize(connection.db, "main", copy.data(), size, size,
                                             SQLITE_DESERIALIZE_READONLY);
        code != SQLITE_OK) {
        contents.findings.Add(Damaged, "not read: " + Failure(connection, code));
        return contents;
    }
    sqlite3_exec(connection.db, "PRAGMA query_only=ON", nullptr, nullptr, nullptr);
    // No value of a sound database is longer than the database; a damaged one whose page chains
    // run in circles could give one of any length.
    sqlite3_limit(connection.db, SQLITE_LIMIT_LENGTH,
                  static_cast<int>(std::min<std::size_t>(copy.size(), std::numeric_limits<int>::max())));
    connection.checksLeft = kChecksAtLeast + copy.size() / kBytesPerCheck;
    connection.databaseSize = copy.size();
    sqlite3_progress_handler(connection.db, kStepsPerCheck, CountDown, &connection);

    Statement resources, pieces;
    int code = sqlite3_prepare_v2(connection.db,
                                  "SELECT res_id, cache_key, head, last_used, doomed, body_end, cache_key_hash, "
                                  "check_sum FROM resources ORDER BY res_id",
                                  -1, &resources.statement, nullptr);
    if (code != SQLITE_OK) {
        contents.findings.Add(Damaged, "no resources table to read: " + Failure(connection, code));
        return contents;
    }
    code = sqlite3_prepare_v2(connection.db,
                              "SELECT start, end, blob, check_sum FROM blobs WHERE res_id=? ORDER BY start, blob_id",
                              -1, &pieces.statement, nullptr);
    if (code != SQLITE_OK) contents.findings.Add(Damaged, "no blobs table to read: " + Failure(connection, code));
    while ((code = sqlite3_step(resources.statement)) == SQLITE_ROW) {
        if (connection.Overrun() || contents.entries.size() >= copy.size() / kSmallestRow) {
            contents.findings.Add(Damaged, "resources after the first " + std::to_string(contents.entries.size()) +
                                  " not read: they would hold more than the database's size");
            return contents;
        }
        contents.entries.push_back(ReadResource(connection, resources.statement, pieces.statement));
    }
    if (code != SQLITE_DONE)
        contents.findings.Add(Damaged, "resources after the first " + std::to_string(contents.entries.size()) +
                              " not read: " + Failure(connection, code));
    return contents;
}

// Out of memory for a copy, a key or a note is the only exception the reader can meet.
CacheContents ReadShard(Bytes databaseBytes, std::string_view fileName, SqlWal wal) {
    try {
        return Read(databaseBytes, fileName, wal);
    } catch (const std::exception& e) {
        CacheContents contents;
        contents.findings.Add(Damaged, std::string("not read: ") + e.what());
        return contents;
    }
}

}  // namespace

CacheContents ReadSqlCache(CacheSource& files, std::string_view shardName) {
    const std::string name(shardName);
    const CacheFile shard = files.Read(name);
    if (!shard.opened) return {};
    // A shard in WAL mode loses no rows by being read alone when no WAL, or an empty one, is beside it.
    SqlWal wal = SqlWal::Unknown;
    if (IsSqliteWalMode(shard.bytes)) {
        const CacheFile walFile = files.Read(name + "-wal", 0);
        if (walFile.opened ? walFile.size == 0 : walFile.missing) wal = SqlWal::AbsentOrEmpty;
    }
    CacheContents contents = ReadShard(shard.bytes, name, wal);
    if (const CacheFile journal = files.Read(name + "-journal", 0); journal.opened && journal.size > 0)
        contents.unfinishedChange =
            name + "-journal holds " + std::to_string(journal.size) + " bytes of an unfinished change";
    return contents;
}

}  // namespace snapsift
