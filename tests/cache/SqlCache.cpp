// The SQL-cache reader over the shard databases Chromium wrote, and over copies of them the test
// alters through SQLite or damages byte by byte.
#ifdef SNAPSIFT_SQLITE
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>

#include <sqlite3.h>
#include <zlib.h>

#include "CacheFixtures.h"
#include "cache/SqlCache.h"

namespace snapsift {

namespace {

using test::AsBytes;

constexpr const char* kShards[] = {"chromium-sql/sqldb0", "chromium-sql/sqldb1", "chromium-sql/sqldb2"};
// In sqldb1: the 24000-byte photo, res_id 4, one piece of 24000 bytes.
constexpr std::string_view kLargePhoto = "/photos/3333_444_5678901_666_777_n.jpg";

// piece_sum(bytes, key hash): the checksum the cache keeps beside a piece, so that the test's
// pieces are as the browser would write them.
void PieceSum(sqlite3_context* context, int, sqlite3_value** arguments) {
    const auto* bytes = static_cast<const Bytef*>(sqlite3_value_blob(arguments[0]));
    uLong crc = crc32(0L, bytes, static_cast<uInt>(sqlite3_value_bytes(arguments[0])));
    const auto hash = static_cast<std::uint32_t>(sqlite3_value_int64(arguments[1]));
    const Bytef tail[4] = {Bytef(hash >> 24), Bytef(hash >> 16), Bytef(hash >> 8), Bytef(hash)};
    sqlite3_result_int64(context, static_cast<std::int32_t>(crc32(crc, tail, 4)));
}

// A copy of a database with `sql` run on it.
std::string Altered(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr), SQLITE_OK);
    auto* buffer = static_cast<unsigned char*>(sqlite3_malloc64(database.size()));
    std::memcpy(buffer, database.data(), database.size());
    const auto size = static_cast<sqlite3_int64>(database.size());
    EXPECT_EQ(sqlite3_deserialize(db, "main", buffer, size, size,
                                  SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE),
              SQLITE_OK);
    sqlite3_create_function(db, "piece_sum", 2, SQLITE_UTF8, nullptr, PieceSum, nullptr, nullptr);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_int64 written = 0;
    unsigned char* bytes = sqlite3_serialize(db, "main", &written, 0);
    std::string result(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(written));
    sqlite3_free(bytes);
    sqlite3_close(db);
    return result;
}

// The large photo's body put back as pieces over these byte ranges, stored in this order.
std::string PutPieces(std::initializer_list<std::pair<int, int>> ranges) {
    std::string sql = "CREATE TEMP TABLE whole AS SELECT blob AS b, (SELECT cache_key_hash FROM resources "
                      "WHERE res_id=4) AS h FROM blobs WHERE res_id=4; DELETE FROM blobs WHERE res_id=4;";
    for (const auto& [start, end] : ranges) {
        const std::string piece = "substr(b," + std::to_string(start + 1) + "," + std::to_string(end - start) + ")";
        sql += "INSERT INTO blobs(res_id,start,end,check_sum,blob) SELECT 4," + std::to_string(start) + "," +
               std::to_string(end) + ",piece_sum(" + piece + ",h)," + piece + " FROM whole;";
    }
    return sql;
}

const CacheEntry* Find(const CacheContents& contents, std::string_view urlEnd) {
    for (const auto& entry : contents.entries)
        if (entry.url.ends_with(urlEnd)) return &entry;
    return nullptr;
}

TEST(SqlCache, EveryEntryAsServed) {
    std::set<std::string> urls;
    for (const char* shard : kShards) {
        SCOPED_TRACE(shard);
        const CacheContents contents = test::ReadFile(ReadSqlCache, "sqldb", test::FixtureFile(shard));
        EXPECT_EQ(contents.findings.Text(), "");
        EXPECT_FALSE(contents.entries.empty());
        for (const CacheEntry& entry : contents.entries) {
            EXPECT_EQ(entry.findings.Text(), "");
            EXPECT_EQ(entry.format, CacheFormat::ChromiumSql);
            EXPECT_FALSE(entry.deleted || entry.body);
            ASSERT_TRUE(entry.bodyBytes) << entry.url;
            // Its times: the minute this cache was made, not the other caches'.
            for (const auto& time : {entry.lastUsed, entry.requestTime, entry.responseTime}) {
                ASSERT_TRUE(time) << entry.url;
                EXPECT_EQ((DateTime{2026, 12, 7, 18, 42, time->second}), *time);
            }
            CacheEntry placed = entry;
            placed.body = BodyPlace{shard, 0, entry.bodyBytes->size(), std::nullopt};
            placed.lastUsed = placed.requestTime = placed.responseTime = std::nullopt;
            test::ExpectAsServed(placed, *entry.bodyBytes, "1/0/_dk_http://127.0.0.1 http://127.0.0.1 ");
            urls.insert(entry.url);
        }
    }
    EXPECT_EQ(urls.size(), test::ServedRows().size());
}

TEST(SqlCache, AlteredRowsOfTheLargePhoto) {
    const std::string shard = test::FixtureFile("chromium-sql/sqldb1");
    const std::string stored = *Find(test::ReadFile(ReadSqlCache, "sqldb1", shard), kLargePhoto)->bodyBytes;
    ASSERT_EQ(stored.size(), 24000u);
    const struct {
        const char* name;
        std::string sql;
        std::string note;                  // the photo's note
        std::optional<std::size_t> kept;   // how much of its body is kept, none for no body
        bool deleted = false;
        bool damaged = true;  // when there is a note: whether it tells of damage
    } rows[] = {
        {"three pieces stored last first", PutPieces({{16000, 24000}, {8000, 16000}, {0, 8000}}), "", 24000},
        {"a gap", PutPieces({{0, 10000}, {12000, 24000}}),
         "body: a gap from byte 10000 to byte 12000; only its first 10000 bytes kept", 10000},
        {"overlapping pieces", PutPieces({{10000, 24000}, {0, 15000}}),
         "body: the body piece at byte 10000 overlaps the one before it; only its first 15000 bytes kept", 15000},
        {"its first piece lost", PutPieces({{12000, 24000}}), "body: a gap from byte 0 to byte 12000; no body kept",
         std::nullopt},
        {"its last piece lost", PutPieces({{0, 12000}}), "body: its pieces hold 12000 bytes, body_end says 24000", 12000},
        {"a piece longer than its end says", "UPDATE blobs SET end=23000 WHERE res_id=4",
         "body: the body piece at byte 0 holds 24000 bytes, its end says 23000; no body kept", std::nullopt},
        {"a piece at the far ends of 64 bits", "UPDATE blobs SET start=-9223372036854775807, end=9223372036854775807 "
         "WHERE res_id=4",
         "body: the body piece at byte -9223372036854775807 holds 24000 bytes, its end says 9223372036854775807; no "
         "body kept",
         std::nullopt},
        {"a piece's checksum", "UPDATE blobs SET check_sum=check_sum+1 WHERE res_id=4",
         "body piece at byte 0: its checksum does not match", 24000},
        {"two pieces' checksums", PutPieces({{0, 8000}, {8000, 24000}}) + "UPDATE blobs SET check_sum=0 WHERE res_id=4",
         "2 body pieces' checksums do not match, the first at byte 0", 24000},
        {"its head cut", "UPDATE resources SET head=substr(head,1,40) WHERE res_id=4",
         "the head's checksum does not match; stored response: its size runs past the head, read as far as it "
         "goes; stored response: its headers run past its end",
         24000},
        {"no head", "UPDATE resources SET head=NULL WHERE res_id=4", "no stored response: the head is empty", 24000},
        {"its key a blob", "UPDATE resources SET cache_key=CAST(cache_key AS BLOB) WHERE res_id=4",
         "cache_key is a blob, not text: read as its bytes", 24000, false, false},
        {"a byte of its key changed",
         "UPDATE resources SET cache_key=replace(cache_key,'_dk_','_dK_') WHERE res_id=4",
         "the key does not match its stored hash", 24000},
        {"its key hash changed, checksums made anew",
         "UPDATE resources SET cache_key_hash=cache_key_hash+1 WHERE res_id=4;"
         "UPDATE blobs SET check_sum=piece_sum(blob,(SELECT cache_key_hash FROM resources WHERE res_id=4)) "
         "WHERE res_id=4",
         "the key does not match its stored hash; the head's checksum does not match", 24000},
        {"its key hash not a number", "UPDATE resources SET cache_key_hash='x' WHERE res_id=4",
         "cache_key_hash is not a number", 24000},
        {"doomed", "UPDATE resources SET doomed=1 WHERE res_id=4", "", 24000, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const CacheContents contents = test::ReadFile(ReadSqlCache, "sqldb1", Altered(shard, row.sql));
        EXPECT_EQ(contents.findings.Text(), "");
        EXPECT_EQ(contents.entries.size(), 5u);
        const CacheEntry* photo = Find(contents, kLargePhoto);
        ASSERT_NE(photo, nullptr);
        EXPECT_EQ(photo->findings.Text(), row.note);
        EXPECT_EQ(photo->findings.Damaged(), !row.note.empty() && row.damaged);
        EXPECT_EQ(photo->deleted, row.deleted);
        EXPECT_EQ(photo->bodyBytes.has_value(), row.kept.has_value());
        if (photo->bodyBytes && row.kept) {
            EXPECT_EQ(*photo->bodyBytes, stored.substr(0, *row.kept));
        }
    }
}

TEST(SqlCache, DamagedDatabases) {
    const std::string shard = test::FixtureFile("chromium-sql/sqldb1");
    std::mt19937 random(7);
    std::string noise(8192, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::string walMode = shard;
    walMode[18] = walMode[19] = 2;
    const struct {
        const char* name;
        std::string bytes;
        std::string note;     // the start of the database's note
        std::size_t entries;  // how many entries are read
        std::size_t whole;    // how many of them whole: with a body and no damage
        Severity severity = Severity::Damaged;
        bool walBeside = true;  // a WAL that holds rows beside it
    } rows[] = {
        {"cut in its header", shard.substr(0, 50), "cut short: 50 bytes, no whole database header", 0, 0},
        {"cut in its pages", shard.substr(0, 40000),
         "cut short: its header counts 21 pages of 4096 bytes, the file holds 40000 bytes", 5, 0},
        {"random bytes", noise, "not an SQLite database: wrong magic", 0, 0},
        {"random pages after its header", shard.substr(0, 100) + noise,
         "cut short: its header counts 21 pages of 4096 bytes, the file holds 8292 bytes; no resources table to "
         "read: no such table: resources",
         0, 0},
        {"in WAL mode", walMode, "in WAL mode: read as its main file alone; rows still in sqldb1-wal are not read", 5, 5},
        {"in WAL mode, none beside it", walMode, "in WAL mode", 5, 5, Severity::Note, false},
        {"no blobs table", Altered(shard, "DROP TABLE blobs"), "no blobs table to read: no such table: blobs", 5, 0},
        {"resources an endless view",
         Altered(shard, "DROP TABLE resources; CREATE VIEW resources AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                        "SELECT i+1 FROM n) SELECT i AS res_id, 'k' AS cache_key, NULL AS head, 0 AS last_used, 0 "
                        "AS doomed, 0 AS body_end, 0 AS cache_key_hash, 0 AS check_sum FROM n"),
         "no resources table to read: ", 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryCacheSource source;
        source.files["sqldb1"] = row.bytes;
        if (row.walBeside) source.files["sqldb1-wal"] = "rows";
        const CacheContents contents = ReadSqlCache(source, "sqldb1");
        Findings all = contents.findings;
        for (const CacheEntry& entry : contents.entries) all.Add(entry.findings);
        ASSERT_TRUE(all.Text().starts_with(row.note)) << all.Text();
        EXPECT_EQ(all.All().front().severity, row.severity);
        EXPECT_EQ(contents.entries.size(), row.entries);
        EXPECT_EQ(std::count_if(contents.entries.begin(), contents.entries.end(),
                                [](const CacheEntry& e) { return !e.findings.Damaged() && e.bodyBytes; }),
                  static_cast<std::ptrdiff_t>(row.whole));
    }
}

}  // namespace

}  // namespace snapsift
#endif  // SNAPSIFT_SQLITE
