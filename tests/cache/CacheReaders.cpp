// Every cache reader through the one contract, over the caches the browsers wrote and over copies
// of them damaged in one way each: a row is a cache, an edit of its files, and what the reader
// must then give: what it says and how much that weighs, and the entries still read whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

#ifdef SNAPSIFT_SQLITE
#include <sqlite3.h>
#include <zlib.h>

#include "cache/SqlCache.h"
#endif
#include "CacheFixtures.h"
#include "cache/BlockfileCache.h"
#include "cache/ChromiumKeyHash.h"
#include "cache/FirefoxCache.h"
#include "cache/SimpleCache.h"

namespace snapsift {

namespace {

using namespace std::literals;
using enum Severity;
using test::CutTo;
using test::FlipBit;

using Files = std::map<std::string, std::string, std::less<>>;
enum class Cache { Blockfile, Simple, Cache2, Sql, SqlShards };
using enum Cache;

// The one entry file each single-entry row reads, and the photo each row follows.
constexpr const char* kSimpleEntry = "cb9ca433c1a42445_0";  // n1234567_890_123.jpg: key of 92 bytes, body of 3000
constexpr const char* kCache2Entry = "AD84EA50A48CC4AB8D20432B0FA27307F14CDDC4";  // the 5000-byte photo
constexpr std::string_view kLargePhoto = "/photos/3333_444_5678901_666_777_n.jpg";  // in sqldb1: 24000 bytes
constexpr std::size_t kPageEntry = 8192 + 2 * 256;  // the blockfile cache's entry of index.html, in data_1

Files FolderFiles(const std::string& folder) {
    Files files;
    for (const auto& file : std::filesystem::recursive_directory_iterator(test::FixturePath(folder)))
        if (file.is_regular_file())
            files[file.path().lexically_relative(test::FixturePath(folder)).generic_string()] =
                test::ReadBytes(file.path());
    return files;
}

// The cache as the browser wrote it: its files, and how its reader is called over them.
struct Fixture {
    Files files;
    std::function<CacheContents(CacheSource&)> read;
    std::string keyPrefix;
    std::string_view photo;  // the end of the URL of the entry a row's body length is of
    std::string main;        // the file an edit names by default
};

const Fixture& FixtureOf(Cache cache) {
    static const std::string chromiumKey = "1/0/_dk_http://127.0.0.1 http://127.0.0.1 ";
    static const Fixture fixtures[] = {
        {FolderFiles("chromium-blockfile"), [](CacheSource& s) { return ReadBlockfileCache(s); }, chromiumKey, "",
         "data_1"},
        {{{kSimpleEntry, test::FixtureFile("chromium-simple/"s + kSimpleEntry)},
          {"index-dir/the-real-index", test::FixtureFile("chromium-simple/index-dir/the-real-index")}},
         [](CacheSource& s) { return ReadSimpleCache(s, kSimpleEntry); }, chromiumKey, "n1234567_890_123.jpg",
         kSimpleEntry},
        {{{kCache2Entry, test::FixtureFile("firefox-cache2/entries/"s + kCache2Entry)}},
         [](CacheSource& s) { return ReadCache2(s, kCache2Entry); }, "O^partitionKey=%28http%2C127.0.0.1%29,:",
         "1111_222_3456789_444_555_n.jpg", kCache2Entry},
#ifdef SNAPSIFT_SQLITE
        {{{"sqldb1", test::FixtureFile("chromium-sql/sqldb1")}, {"sqldb1-wal", "rows not yet in the database"}},
         [](CacheSource& s) { return ReadSqlCache(s, "sqldb1"); }, chromiumKey, kLargePhoto, "sqldb1"},
        {{{"sqldb0", test::FixtureFile("chromium-sql/sqldb0")}, {"sqldb1", test::FixtureFile("chromium-sql/sqldb1")},
          {"sqldb2", test::FixtureFile("chromium-sql/sqldb2")}},
         [](CacheSource& s) {
             CacheContents all;
             for (const char* shard : {"sqldb0", "sqldb1", "sqldb2"}) {
                 CacheContents one = ReadSqlCache(s, shard);
                 all.findings.Add(one.findings);
                 all.entries.insert(all.entries.end(), one.entries.begin(), one.entries.end());
             }
             return all;
         },
         chromiumKey, kLargePhoto, "sqldb1"},
#endif
    };
    return fixtures[static_cast<int>(cache)];
}

// The bytes that hold an entry's body: the file its place names, or those it keeps.
std::string BodyFile(const CacheEntry& entry, const Files& files) {
    if (entry.bodyBytes) return *entry.bodyBytes;
    const auto file = entry.body ? files.find(entry.body->file.substr(entry.body->file.rfind('/') + 1)) : files.end();
    return file == files.end() ? std::string() : file->second;
}

#ifdef SNAPSIFT_SQLITE
// The large photo's body as sqldb1 keeps it.
const std::string& LargePhoto() {
    static const std::string body = [] {
        MemoryCacheSource source;
        source.files = FixtureOf(Sql).files;
        for (const CacheEntry& entry : ReadSqlCache(source, "sqldb1").entries)
            if (entry.url.ends_with(kLargePhoto)) return entry.bodyBytes.value_or("");
        return std::string();
    }();
    return body;
}
#endif

// An edit of a cache's files: of `file`, or (when it is "") of the row's main file, the one entry
// file read, SQL's shard or the blockfile cache's data_1.
using Edit = std::function<void(MemoryCacheSource&, const std::string& main)>;
Edit In(test::Damage damage, std::string file = "") {
    return [=](MemoryCacheSource& s, const std::string& main) { damage(s.files.at(file.empty() ? main : file)); };
}
Edit Set(std::ptrdiff_t at, std::uint32_t value, std::string file = "") {
    return In(test::PutLittleEndian32(at, value), file);
}
Edit SetBig(std::ptrdiff_t at, std::uint32_t value) { return In(test::PutBigEndian32(at, value)); }
Edit Cut(std::size_t size, std::string file = "") { return In(CutTo(size), file); }
Edit Flip(std::size_t at) { return In(FlipBit(at)); }
Edit Gone(std::string file) {
    return [=](MemoryCacheSource& s, const std::string&) { s.files.erase(file); };
}
Edit Unreadable(std::string file = "") {
    return [=](MemoryCacheSource& s, const std::string& main) {
        s.unreadable[file.empty() ? main : file] = "it could not be opened: denied";
    };
}
Edit Both(Edit first, Edit second) {
    return [=](MemoryCacheSource& s, const std::string& main) { first(s, main), second(s, main); };
}
const Edit NoEdit = [](MemoryCacheSource&, const std::string&) {};
const Edit NoIndex = Gone("index");

constexpr long any = -2, kNone = -1;
// The one further fact a row may state beside its main count.
enum class Also { Nothing, Entries, Deleted, Truncated, Body, Url, Head };
using enum Also;

struct Row {
    const char* what;
    Cache cache;
    Edit edit;
    // A part of a finding of the cache (why its index is unusable among them) or of an entry, and
    // the weight of the first that holds it; "" for no finding at all.
    std::string said;
    // Entries read without a finding, each the served response whole; of a one-entry cache, the
    // stored length of its body (kNone: none), its entry whole only when nothing is said.
    long main;
    // A further fact and its value: how many entries are given, deleted, or marked cut short by the
    // browser; the photo's body length; whether its URL, or its status line and Content-Type, are read.
    Also also = Nothing;
    long value = 0;
    Severity severity = Damaged;
};

struct Tally {
    CacheContents read;
    Findings all;
    long whole = 0, deleted = 0, truncated = 0;
    const CacheEntry* photo = nullptr;
};

// A cache's files read, and what holds of every read: whatever is read without a finding is the
// served response whole, no body is placed past its file's end, and why the index is unusable is
// said once, apart from the cache's other findings.
void ReadChecked(Cache cache, const MemoryCacheSource& source, Tally& t) {
    const Fixture& fixture = FixtureOf(cache);
    MemoryCacheSource copy = source;
    t.read = fixture.read(copy);
    t.all.Add(Damaged, t.read.indexUnusable);
    t.all.Add(t.read.findings);
    EXPECT_EQ(t.read.findings.Text().find("entries read from data_1"), std::string::npos);
    for (const CacheEntry& entry : t.read.entries) {
        t.all.Add(entry.findings);
        t.deleted += entry.deleted;
        t.truncated += entry.markedTruncated;
        if (cache == Simple || cache == Cache2 || (!fixture.photo.empty() && entry.url.ends_with(fixture.photo)))
            t.photo = &entry;
        // A body kept in bytes is the photo's own from its first byte, whatever else is lost.
#ifdef SNAPSIFT_SQLITE
        EXPECT_TRUE(!entry.bodyBytes || !entry.url.ends_with(kLargePhoto) || LargePhoto().starts_with(*entry.bodyBytes));
#endif
        EXPECT_TRUE(!entry.body || entry.body->offset + entry.body->length <= BodyFile(entry, source.files).size())
            << entry.url;
        if (!entry.findings.Empty()) continue;
        ++t.whole;
        CacheEntry placed = entry;
        if (entry.bodyBytes) placed.body = BodyPlace{"sqldb1", 0, entry.bodyBytes->size(), std::nullopt};
        // The SQL cache was made in a minute of its own.
        for (auto* time : {&placed.lastUsed, &placed.requestTime, &placed.responseTime}) {
            EXPECT_TRUE(!entry.bodyBytes || (*time && (*time)->hour == 18 && (*time)->minute == 42)) << entry.url;
            if (entry.bodyBytes) *time = std::nullopt;
        }
        test::ExpectAsServed(placed, BodyFile(entry, source.files), fixture.keyPrefix);
    }
}

void Check(const Row& row) {
    SCOPED_TRACE(row.what);
    MemoryCacheSource source;
    source.files = FixtureOf(row.cache).files;
    row.edit(source, FixtureOf(row.cache).main);
    Tally t;
    ReadChecked(row.cache, source, t);
    if (row.said.empty()) {
        EXPECT_EQ(t.all.Text(), "");
    } else {
        EXPECT_EQ(test::SeverityOf(t.all, row.said), row.severity) << t.all.Text();
    }
    const CacheEntry* photo = t.photo;
    const bool one = row.cache == Simple || row.cache == Cache2;
    const long body = photo && photo->body      ? static_cast<long>(photo->body->length)
                      : photo && photo->bodyBytes ? static_cast<long>(photo->bodyBytes->size())
                                                  : kNone;
    EXPECT_EQ(t.whole, one ? long{row.said.empty()} : row.main) << t.all.Text();
    EXPECT_EQ(t.deleted, row.also == Deleted ? row.value : 0);
    EXPECT_EQ(t.truncated, row.also == Truncated ? row.value : 0);
    // The photo's URL is read, unless the row says otherwise, wherever its body is.
    const bool url = photo && photo->url.ends_with(FixtureOf(row.cache).photo);
    const bool head = photo && photo->statusLine == "HTTP/1.1 200 OK" && photo->contentType == "image/jpeg";
    const struct { bool check; long got, want; } checked[] = {
        {one && row.main != any, body, row.main},
        {row.also == Entries, static_cast<long>(t.read.entries.size()), row.value},
        {row.also == Body, body, row.value},
        {row.also == Head, head, row.value},
        {row.also == Url, url, row.value},
        {row.also != Url && one && body != kNone, url, 1},
    };
    for (const auto& [check, got, want] : checked) EXPECT_TRUE(!check || got == want) << got << " not " << want;
}

// The simple entry's parts: its key's end, its body's, stream 0's start, its last end record.
constexpr std::size_t kKeyEnd = 24 + 92, kBodyEnd = kKeyEnd + 3000, kStream0 = kBodyEnd + 24, kLast = kStream0 + 308 + 32;
// The cache2 entry's: its metadata's header, its key, the key's size, the trailer.
constexpr std::size_t kHeader = 5000 + 4 + 2, kKey = kHeader + 32, kKeySize = 99;
const std::uint32_t kTrailer = static_cast<std::uint32_t>(FixtureOf(Cache2).files.at(kCache2Entry).size() - 8);
Edit Put(std::size_t at, char c) {
    return In([=](std::string& b) { b.at(at) = c; });
}
Edit AddElement(std::string_view pair) {
    return In([=](std::string& b) { b.insert(kTrailer, pair); });
}

// A block file whose header names the next of the chain, and that file: `next` of file `number`.
Edit Chained(std::string file, std::uint32_t number, std::uint32_t next, std::string copy = "") {
    return [=](MemoryCacheSource& s, const std::string&) {
        if (!copy.empty()) s.files[file] = s.files.at(copy);
        test::PutLittleEndian32(8, next << 16 | number)(s.files.at(file));
    };
}

TEST(CacheReaders, DamageIsSaidAndTheRestReadWhole) {
    const std::string noIndex = "index is missing: entries read from data_1 block by block";
    const std::string index = "index";
    const Row rows[] = {
        {"blockfile as written", Blockfile, NoEdit, "", 11, Entries, 11},
        {"index cut in its table", Blockfile, Cut(368 + 4 * 300000, index), "hash table of 524288", 5},
        {"table address past data_1", Blockfile, Set(368, 0xa001ff00, index), "lies past the end", 11},
        {"table address of a rankings block", Blockfile, Set(368, 0x90000001, index), "not an address of 256-byte", 11},
        {"table address of a free block", Blockfile, Set(368, 0xa0010030, index), "holds no key", 11},
        {"entry in a bucket not of its hash", Blockfile, Both(Set(368, 0xa0010002, index), Set(368 + 4 * 360512, 0, index)),
         "does not belong in bucket 0", 10},
        {"data_1 missing", Blockfile, Gone("data_1"), "data_1 is missing", 0},
        {"data_2 will not open", Blockfile, Unreadable("data_2"), "data_2: it could not be opened: denied", 4},
        {"data_1 cut in its header", Blockfile, Cut(4000), "shorter than its header", 0},
        {"data_1 cut in an entry", Blockfile, Cut(8192 + 16 * 256 + 50), "too few for its fields", 3},
        {"data_1 magic wrong", Blockfile, Set(0, 0), "not that of a block file", 0},
        {"f_000001 missing", Blockfile, Gone("f_000001"), "f_000001 is missing", 10},
        {"data_2 cut in a body", Blockfile, Cut(8192 + 0x10 * 1024 + 300, "data_2"), "stream 1 is cut", 9},
        {"data_0 cut", Blockfile, Cut(8192 + 36 * 5, "data_0"), "rankings node", 5},
        {"key length huge", Blockfile, Set(kPageEntry + 32, 0x7fffffff), "runs past the entry", 10},
        {"key length negative", Blockfile, Set(kPageEntry + 32, 0xfffffff0), "is negative", 10},
        {"long key past data_1", Blockfile, Set(kPageEntry + 36, 0xa001ff00), "long key", 10},
        {"body size huge", Blockfile, Set(kPageEntry + 44, 0x7fffffff), "do not fit", 10},
        {"body address past data_2", Blockfile, Set(kPageEntry + 60, 0xb102ff00), "lies past the end", 10},
        {"headers size huge", Blockfile, Set(kPageEntry + 40, 0x7fffffff), "stream 0", 10},
        {"response info cut in its flags", Blockfile, Cut(8192 + 4 * 256 + 7), "stored response: cut in its flags", 0},
        {"response info size huge", Blockfile, Set(8192 + 4 * 256, 0xffffff00), "its size runs past stream 0", 10},
        {"header text length huge", Blockfile, Set(8192 + 4 * 256 + 36, 0x7fffff00), "its headers run past its end", 10},
        {"response marked truncated", Blockfile, Set(8192 + 4 * 256 + 4, 0x80041003), "", 11, Truncated, 1},
        {"a byte of the key changed", Blockfile, Flip(kPageEntry + 96 + 20), "does not match its stored hash 0xa69d8040", 10},
        {"the stored hash changed", Blockfile, Set(kPageEntry, 0xa69d8041), "the key does not match its stored hash", 10},
        {"entry's chain loops to itself", Blockfile, Set(kPageEntry + 4, 0xa0010002), "", 11},
        {"rankings node of another entry", Blockfile, Set(kPageEntry + 8, 0x90000001), "belongs to entry", 10},
        {"entry state unknown", Blockfile, Set(kPageEntry + 20, 7), "state 7 is unknown", 10},
        {"entry evicted", Blockfile, Set(kPageEntry + 20, 1), "", 11, Deleted, 1},
        {"entry doomed", Blockfile, Set(kPageEntry + 20, 2), "", 11, Deleted, 1},
        // Without a usable index the entries are found in data_1's blocks.
        {"index missing", Blockfile, NoIndex, noIndex, 11, Entries, 11},
        {"index will not open", Blockfile, Unreadable(index), "index: it could not be opened: denied: entries read", 11},
        {"index zeroed", Blockfile, In([](std::string& b) { b.assign(b.size(), '\0'); }, index), "index is all zeros", 11},
        {"index magic changed", Blockfile, Set(0, 0xC103CAC4, index),
         "index has magic 0xc103cac4, not that of a blockfile index: entries read from data_1 block by block", 11},
        {"index cut short of its header", Blockfile, Cut(367, index), "index is 367 bytes, shorter than its header", 11},
        {"no index, a byte of a key changed", Blockfile, Both(NoIndex, Flip(kPageEntry + 96 + 20)), noIndex, 10, Entries, 10},
        {"no index, a stored hash changed", Blockfile, Both(NoIndex, Set(kPageEntry, 0)), noIndex, 10, Entries, 10},
        {"no index, an entry's state unknown", Blockfile, Both(NoIndex, Set(kPageEntry + 20, 3)), noIndex, 10, Entries, 10},
        {"no index, an entry's blocks marked free", Blockfile, Both(NoIndex, Set(80, 0xfffffffb)), noIndex, 10, Deleted, 1},
        {"no index, data_1's header zeroed: its bitmap not believed", Blockfile,
         Both(NoIndex, In([](std::string& b) { b.replace(0, 8192, 8192, '\0'); })),
         "stream 0: data_1 has magic 0x00000000, not that of a block file", 0, Entries, 11},
        {"no index, data_1 missing", Blockfile, Both(NoIndex, Gone("data_1")), "data_1 is missing", 0, Entries, 0},
        // A full data_1 names the next file of its blocks: followed, each file once; its copy's
        // entries found by their keys, their rankings nodes still data_1's.
        {"no index, data_1 and data_4 chained in a ring", Blockfile,
         Both(NoIndex, Both(Chained("data_1", 1, 4), Chained("data_4", 4, 1, "data_1"))), "belongs to entry", 11, Entries, 22},
        {"no index, data_1 chained to a file of other blocks", Blockfile, Both(NoIndex, Chained("data_1", 1, 2)),
         "data_2 has blocks of 1024 bytes, not 256", 11, Entries, 11},

        // Simple: the photo's body length, whether its status line and Content-Type are read.
        {"cut in the header", Simple, Cut(10), "no whole header", kNone},
        {"cut in the key", Simple, Cut(70), "key length 92 runs past", kNone},
        {"cut in the body", Simple, Cut(kKeyEnd + 1000), "cut short in the body", 1000, Head, 0},
        {"cut in stream 1's end record", Simple, Cut(kBodyEnd + 10), "cut short in the body", 3010, Head, 0},
        {"cut in stream 0's flags", Simple, Cut(kStream0 + 7), "cut in its flags", 3000, Head, 0},
        {"cut in stream 0's headers", Simple, Cut(kStream0 + 60), "headers run past", 3000, Head, 0},
        {"cut by one byte", Simple, Cut(kLast + 23), "first end record after the key", 3000, Head, 1},
        {"wrong magic", Simple, Set(0, 0x12345678), "wrong magic", kNone},
        {"key length one past the end", Simple, Set(12, kLast + 1), "runs past the end", kNone},
        {"stream 0 size huge", Simple, Set(kLast + 16, 0xFFFFFFF0), "does not fit", 3000, Head, 1},
        {"stream 0 size pointing into the body", Simple, Set(kLast + 16, 1000), "no end record where stream 1", 3000, Head, 1},
        {"last end record's magic broken", Simple, Set(kLast, 0), "no end record at the end", 3000, Head, 1},
        {"stream 1's end record giving a wrong size", Simple, Set(kBodyEnd + 16, 5), "gives size 5", 3000, Head, 1},
        {"stored response's size a byte past stream 0", Simple, Set(kStream0, 305), "runs past stream 0", 3000, Head, 1},
        {"stored response's size huge", Simple, Set(kStream0, 0xFFFFFFFF), "runs past stream 0", 3000, Head, 1},
        {"headers' length huge", Simple, Set(kStream0 + 36, 0x7FFFFFFF), "headers run past", 3000, Head, 0},
        // Without its flag the original response time is taken for the headers' length.
        {"extra flags without the original response time", Simple, Set(kStream0 + 8, 2), "headers run past", 3000, Head, 0},
        {"a byte of the body changed", Simple, Flip(kKeyEnd + 1500), "body's CRC-32", 3000, Head, 1},
        {"a byte of the stored headers changed", Simple, Flip(kStream0 + 60), "stored response's CRC-32", 3000, Head, 1},
        {"response version unknown", Simple, Set(kStream0 + 4, 0x80040009), "unknown version 9", 3000, Head, 1},
        {"another entry's file under its name", Simple,
         In([](std::string& b) { b = test::FixtureFile("chromium-simple/2560fe1f1365a10a_0"); }), "hash does not match", any,
         Url, 0},
        {"another entry version", Simple, Set(8, 6), "entry version 6, read as version 5", 3000, Head, 1, Note},
        {"its file will not open", Simple, Unreadable(), "it could not be opened: denied", kNone},

        // Cache2: the photo's body length, whether its URL is read.
        {"cut to 3 bytes", Cache2, Cut(3), "too short", kNone},
        {"cut in the key", Cache2, Cut(kKey + 20), "past the file's end", kNone},
        {"trailer's last word gone", Cache2, Cut(kTrailer + 4), "version", kNone},
        {"offset into the trailer", Cache2, SetBig(-4, kTrailer + 4), "past the file's end", kNone},
        {"offset at the end", Cache2, SetBig(-4, kTrailer), "too short", kNone},
        {"offset into the body", Cache2, SetBig(-4, 100), "version", kNone},
        {"metadata a byte short of its header",  // no body: the hash, version 4, 27 more bytes, the trailer
         Cache2, In([](std::string& b) { b = "\0\0\0\0\0\0\0\4"s + std::string(27, '\0') + "\0\0\0\4\0\0\0\0"s; }),
         "too short to hold its header", kNone},
        {"wrong version", Cache2, SetBig(kHeader, 9), "version 9 is not one of 1 to 4", kNone},
        {"encrypted", Cache2, SetBig(-4, 0x80000000u | 5000), "encrypted", kNone},
        {"key size past the end by one", Cache2, SetBig(kHeader + 24, kTrailer - kKey), "runs past the metadata", 5000},
        {"key size short", Cache2, SetBig(kHeader + 24, kKeySize - 4), "no NUL follows the key", 5000, Url, 0},
        {"key's NUL gone", Cache2, Put(kKey + kKeySize, 'x'), "no NUL follows the key", 5000},
        {"body byte changed", Cache2, Put(4000, 'x'), "do not match their hashes", 5000},
        {"metadata byte changed", Cache2, Put(kHeader + 12, 'x'), "does not match its hash", 5000},
        {"file name not the key's", Cache2, Put(kKey + kKeySize - 1, 'x'), "not the SHA-1 of its key", 5000, Url, 0},
        {"key's tags broken", Cache2, In([](std::string& b) { b.replace(kKey, 2, "p:"); }), "tags cannot be read", 5000, Url, 0},
        {"last element cut", Cache2, Put(kTrailer - 1, 'x'), "is cut short", 5000},
        {"element with no value", Cache2, AddElement("x\0"sv), "has no value", 5000},
        {"element name cut", Cache2, AddElement("name-without-end"), "inside an element's name", 5000},
        {"alt-data within the body", Cache2, AddElement("alt-data\0" "1;1000,x\0"sv), "does not match its hash", 1000},
        {"alt-data past the body", Cache2, AddElement("alt-data\0" "1;9999,x\0"sv), "alternative data's place", 5000},
        {"alt-data huge", Cache2, AddElement("alt-data\0" "1;99999999999999999999,x\0"sv), "alternative data's place", 5000},
    };
    for (const Row& row : rows) Check(row);
}

// Every file of each cache cut at many points: whatever is read without a finding is the served
// entry, whole.
TEST(CacheReaders, FilesCutAnywhereGiveFindingsNotWrongEntries) {
#ifdef SNAPSIFT_SQLITE
    for (const Cache cache : {Blockfile, Simple, Cache2, Sql}) {
#else
    for (const Cache cache : {Blockfile, Simple, Cache2}) {
#endif
        for (const auto& [name, bytes] : FixtureOf(cache).files) {
            for (const std::size_t cut : {std::size_t{0}, std::size_t{7}, std::size_t{8191}, std::size_t{8192 + 37},
                                          std::size_t{8192 + 1000}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 1}) {
                if (cut >= bytes.size()) continue;
                SCOPED_TRACE(name + " cut at " + std::to_string(cut));
                MemoryCacheSource source;
                source.files = FixtureOf(cache).files;
                source.files[name].resize(cut);
                Tally t;
                ReadChecked(cache, source, t);
            }
        }
    }
}

TEST(CacheReaders, BlockfileKeyHash) {
    // Lengths 1 to 4 cover each way the last bytes are taken in; bytes over 0x7f are signed there.
    const struct { std::string_view key; std::uint32_t hash; } rows[] = {
        {"", 0},
        {"a", 0x115ea782},
        {"ab", 0x516b8b44},
        {"abc", 0xd2be198a},
        {"abcd", 0xdad8b8db},
        {"\xff", 0},
        {"\xe9\xe9\xe9", 0x8c849f21},
        {"http://h\xc3\xa9", 0x996c9f34},
        {"1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:47811/index.html", 0xa69d8040},
    };
    for (const auto& row : rows) EXPECT_EQ(ChromiumKeyHash(row.key), row.hash) << row.key;
}

// Both blockfile caches Chromium wrote, the second with two cut responses, a 301 without a body
// and 404s: the blocks give the same entries as the index, each as it is read through it.
TEST(CacheReaders, BlockfileCachesReadAlikeWithoutTheirIndex) {
    const struct { const char* folder; long markedTruncated, emptyBodies; } rows[] = {
        {"chromium-blockfile", 0, 0}, {"hostile-chromium-blockfile", 2, 1}};
    const auto facts = [](const CacheEntry& e) {
        const BodyPlace body = e.body.value_or(BodyPlace{"none", 0, 0, std::nullopt});
        return std::tuple(e.url, e.findings.Text(), body.file, body.offset, body.length, body.block, e.created, e.lastUsed,
                          e.requestTime, e.responseTime, e.statusLine, e.contentType, e.contentLength, e.markedTruncated,
                          e.reuseCount, e.fetchCount);
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder);
        MemoryCacheSource source;
        source.files = FolderFiles(row.folder);
        const CacheContents indexed = ReadBlockfileCache(source);
        source.files.erase("index");
        const CacheContents scanned = ReadBlockfileCache(source);
        EXPECT_EQ(std::tuple(indexed.findings.Text(), indexed.crashed, scanned.indexUnusable.empty()),
                  std::tuple("", false, false));
        ASSERT_EQ(indexed.entries.size(), 11u);
        ASSERT_EQ(scanned.entries.size(), 11u);
        long truncated = 0, empty = 0;
        std::map<std::string, const CacheEntry*> byKey;
        for (const CacheEntry& entry : indexed.entries) {
            byKey[entry.key] = &entry;
            truncated += entry.markedTruncated;
            empty += entry.body && entry.body->length == 0;
            EXPECT_TRUE(entry.body && entry.created && entry.lastUsed && entry.requestTime && entry.responseTime) << entry.key;
            // A body of more than 16 KiB has a file of its own; the others lie in blocks. No fetch
            // count: the format keeps none.
            EXPECT_EQ(entry.body && entry.body->file.starts_with("f_"), entry.body && !entry.body->block) << entry.key;
            EXPECT_EQ(std::tuple(entry.findings.Text(), entry.fetchCount), std::tuple("", std::nullopt)) << entry.key;
        }
        EXPECT_EQ(std::tuple(truncated, empty), std::tuple(row.markedTruncated, row.emptyBodies));
        for (const CacheEntry& entry : scanned.entries) {
            ASSERT_TRUE(byKey.count(entry.key)) << entry.key;
            EXPECT_EQ(facts(entry), facts(*byKey[entry.key]));
            byKey.erase(entry.key);
        }
    }
}

// The page's entry with its body stream emptied, as a redirect's is stored, and used again five
// times: its empty body placed at the entry, its reuse count kept as such, with the index or not.
TEST(CacheReaders, BlockfileEmptyBodyAndReuseCount) {
    MemoryCacheSource source;
    source.files = FixtureOf(Blockfile).files;
    Both(Set(kPageEntry + 44, 0), Set(kPageEntry + 12, 5))(source, "data_1");
    for (const bool withIndex : {true, false}) {
        if (!withIndex) source.files.erase("index");
        const CacheContents cache = ReadBlockfileCache(source);
        const auto page = std::find_if(cache.entries.begin(), cache.entries.end(),
                                       [](const CacheEntry& e) { return e.url.ends_with("/index.html"); });
        ASSERT_NE(page, cache.entries.end());
        const BodyPlace body = page->body.value_or(BodyPlace{"none", 0, 1, std::nullopt});
        EXPECT_EQ(std::tuple(page->findings.Text(), body.file, body.offset, body.length, body.block, page->reuseCount),
                  std::tuple("", "data_1", kPageEntry, 0u, 2u, 5u));
    }
}

// An entry written into data_1's free blocks 40 to 43, its fields and streams the page's, with a
// longer key than any of the fixture's: kept inline over as many blocks as it takes, or at a
// long-key address in f_000002. Read without the index.
TEST(CacheReaders, BlockfileEntriesWithLongerKeys) {
    const std::string pageKey = FixtureOf(Blockfile).keyPrefix + "http://127.0.0.1:47811/index.html";
    for (const std::size_t length : {159, 160, 415, 416, 927, 928, 3000}) {
        SCOPED_TRACE(length);
        const std::string key = pageKey + "?" + std::string(length - pageKey.size() - 1, 'x');
        const bool longKey = length > 927;
        constexpr std::size_t at = 8192 + 40 * 256;
        MemoryCacheSource source;
        source.files = FixtureOf(Blockfile).files;
        source.files.erase("index");
        std::string& data1 = source.files["data_1"];
        data1.replace(at, 96, data1.substr(kPageEntry, 96));
        if (longKey) source.files["f_000002"] = key;
        if (!longKey) data1.replace(at + 96, key.size() + 1, key + '\0');
        // Its hash; no rankings node (the page's names the page's entry); blocks 40 to 43 in use.
        const std::pair<std::size_t, std::uint32_t> fields[] = {{at, ChromiumKeyHash(key)}, {at + 8, 0},
            {at + 32, static_cast<std::uint32_t>(key.size())}, {at + 36, longKey ? 0x80000002 : 0}, {84, 0x00000f0f}};
        for (const auto& [offset, value] : fields) test::PutLittleEndian32(static_cast<std::ptrdiff_t>(offset), value)(data1);
        const CacheContents cache = ReadBlockfileCache(source);
        ASSERT_EQ(cache.entries.size(), 12u);
        const auto added = std::find_if(cache.entries.begin(), cache.entries.end(),
                                        [&](const CacheEntry& e) { return e.key.size() == key.size(); });
        ASSERT_NE(added, cache.entries.end());
        const BodyPlace body = added->body.value_or(BodyPlace{"none", 0, 0, std::nullopt});
        EXPECT_EQ(std::tuple(added->key, added->findings.Text(), added->deleted, body.file, body.length),
                  std::tuple(key, "", false, "data_2", 1375u));
    }
}

#ifdef SNAPSIFT_SQLITE
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

Edit Query(std::string sql) {
    return In([=](std::string& b) { b = Altered(b, sql); });
}
std::string Noise() {
    std::mt19937 random(7);
    std::string noise(8192, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    return noise;
}

// The large photo's rows altered through SQLite, and the database damaged byte by byte: the
// photo's body as far as its pieces run from byte 0 without a gap.
TEST(CacheReaders, SqlShardsAlteredAndDamaged) {
    const Edit walMode = In([](std::string& b) { b[18] = b[19] = 2; });
    const auto bytes = [](std::string made) { return In([=](std::string& b) { b = made; }); };
    const std::string shard = FixtureOf(Sql).files.at("sqldb1");
    const Row rows[] = {
        {"sqldb1 as written", Sql, NoEdit, "", 5, Body, 24000},
        {"every shard as written", SqlShards, NoEdit, "", 11, Entries, 11},
        {"three pieces stored last first", Sql, Query(PutPieces({{16000, 24000}, {8000, 16000}, {0, 8000}})), "", 5, Body,
         24000},
        {"a gap", Sql, Query(PutPieces({{0, 10000}, {12000, 24000}})),
         "body: a gap from byte 10000 to byte 12000; only its first 10000 bytes kept", 4, Body, 10000},
        {"overlapping pieces", Sql, Query(PutPieces({{10000, 24000}, {0, 15000}})),
         "body: the body piece at byte 10000 overlaps the one before it; only its first 15000 bytes kept", 4, Body, 15000},
        {"its first piece lost", Sql, Query(PutPieces({{12000, 24000}})), "body: a gap from byte 0 to byte 12000; no body",
         4, Body, kNone},
        {"its last piece lost", Sql, Query(PutPieces({{0, 12000}})), "its pieces hold 12000 bytes, body_end says 24000", 4,
         Body, 12000},
        {"a piece longer than its end says", Sql, Query("UPDATE blobs SET end=23000 WHERE res_id=4"),
         "body: the body piece at byte 0 holds 24000 bytes, its end says 23000; no body kept", 4, Body, kNone},
        {"a piece at the far ends of 64 bits", Sql,
         Query("UPDATE blobs SET start=-9223372036854775807, end=9223372036854775807 WHERE res_id=4"),
         "piece at byte -9223372036854775807 holds 24000 bytes, its end says 9223372036854775807; no body kept", 4, Body,
         kNone},
        {"a piece's checksum", Sql, Query("UPDATE blobs SET check_sum=check_sum+1 WHERE res_id=4"),
         "body piece at byte 0: its checksum does not match", 4, Body, 24000},
        {"two pieces' checksums", Sql, Query(PutPieces({{0, 8000}, {8000, 24000}}) + "UPDATE blobs SET check_sum=0 WHERE res_id=4"),
         "2 body pieces' checksums do not match, the first at byte 0", 4, Body, 24000},
        {"its head cut", Sql, Query("UPDATE resources SET head=substr(head,1,40) WHERE res_id=4"),
         "stored response: its size runs past the head, read as far as it goes", 4, Body, 24000},
        {"no head", Sql, Query("UPDATE resources SET head=NULL WHERE res_id=4"), "no stored response: the head is empty", 4},
        {"its key a blob", Sql, Query("UPDATE resources SET cache_key=CAST(cache_key AS BLOB) WHERE res_id=4"),
         "cache_key is a blob, not text: read as its bytes", 4, Body, 24000, Note},
        {"a byte of its key changed", Sql, Query("UPDATE resources SET cache_key=replace(cache_key,'_dk_','_dK_') WHERE res_id=4"),
         "the key does not match its stored hash", 4},
        {"its key hash changed, checksums made anew", Sql,
         Query("UPDATE resources SET cache_key_hash=cache_key_hash+1 WHERE res_id=4;"
               "UPDATE blobs SET check_sum=piece_sum(blob,(SELECT cache_key_hash FROM resources WHERE res_id=4)) "
               "WHERE res_id=4"),
         "the head's checksum does not match", 4},
        {"its key hash not a number", Sql, Query("UPDATE resources SET cache_key_hash='x' WHERE res_id=4"),
         "cache_key_hash is not a number", 4},
        {"doomed", Sql, Query("UPDATE resources SET doomed=1 WHERE res_id=4"), "", 5, Deleted, 1},
        {"cut in its header", Sql, Cut(50), "cut short: 50 bytes, no whole database header", 0, Entries, 0},
        {"cut in its pages", Sql, Cut(40000),
         "cut short: its header counts 21 pages of 4096 bytes, the file holds 40000 bytes", 0, Entries, 5},
        {"random bytes", Sql, bytes(Noise()), "not an SQLite database: wrong magic", 0, Entries, 0},
        {"random pages after its header", Sql, bytes(shard.substr(0, 100) + Noise()),
         "no resources table to read: no such table: resources", 0, Entries, 0},
        {"in WAL mode", Sql, walMode, "in WAL mode: read as its main file alone; rows still in sqldb1-wal are not read", 5,
         Entries, 5},
        {"in WAL mode, none beside it", Sql, Both(walMode, Gone("sqldb1-wal")), "in WAL mode", 5, Entries, 5, Note},
        {"no blobs table", Sql, Query("DROP TABLE blobs"), "no blobs table to read: no such table: blobs", 0, Entries, 5},
        {"resources an endless view", Sql,
         Query("DROP TABLE resources; CREATE VIEW resources AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM "
               "n) SELECT i AS res_id, 'k' AS cache_key, NULL AS head, 0 AS last_used, 0 AS doomed, 0 AS body_end, 0 AS "
               "cache_key_hash, 0 AS check_sum FROM n"),
         "no resources table to read: ", 0, Entries, 0},
    };
    for (const Row& row : rows) Check(row);
}
#endif

}  // namespace

}  // namespace snapsift
