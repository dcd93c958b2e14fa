// The blockfile reader over the cache Chromium wrote, and over damaged copies of its files.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "CacheFixtures.h"
#include "cache/BlockfileCache.h"
#include "cache/ChromiumKeyHash.h"

namespace snapsift {

namespace {

using Files = std::map<std::string, std::string, std::less<>>;

Files ReadFixture(std::string_view folder) {
    Files read;
    for (const auto& file : std::filesystem::directory_iterator(test::FixturePath(folder)))
        read[file.path().filename().string()] = test::ReadBytes(file.path());
    return read;
}

const Files& FixtureFiles() {
    static const Files files = ReadFixture("chromium-blockfile");
    return files;
}

CacheContents ReadOver(const Files& files) {
    MemoryCacheSource source;
    source.files = files;
    return ReadBlockfileCache(source);
}

// Why the index could not be used, then the other findings of the cache.
std::string CacheText(const CacheContents& cache) {
    Findings all;
    all.Add(Severity::Damaged, cache.indexUnusable);
    all.Add(cache.findings);
    return all.Text();
}

// Every entry read without a note is the served one, whole; gives how many there are.
std::size_t ExpectWholeEntriesAsServed(const Files& files, const std::vector<CacheEntry>& entries) {
    std::size_t whole = 0;
    for (const CacheEntry& entry : entries) {
        if (!entry.findings.Text().empty()) continue;
        ++whole;
        EXPECT_EQ(entry.format, CacheFormat::ChromiumBlockfile);
        EXPECT_TRUE(entry.created && entry.lastUsed && entry.requestTime && entry.responseTime) << entry.url;
        const auto file = files.find(entry.body ? entry.body->file : "");
        test::ExpectAsServed(entry, file == files.end() ? "" : file->second,
                             "1/0/_dk_http://127.0.0.1 http://127.0.0.1 ");
    }
    return whole;
}

TEST(BlockfileCache, ReadsEveryEntryChromiumWrote) {
    const CacheContents cache = ReadOver((FixtureFiles()));
    EXPECT_EQ(cache.findings.Text(), "");
    EXPECT_EQ(cache.indexUnusable, "");
    EXPECT_FALSE(cache.crashed);
    ASSERT_EQ(cache.entries.size(), test::ServedRows().size());
    EXPECT_EQ(ExpectWholeEntriesAsServed(FixtureFiles(), cache.entries), cache.entries.size());
    for (const CacheEntry& entry : cache.entries) {
        // The 24000-byte body has a file of its own; the others lie in blocks.
        EXPECT_EQ(entry.body->file == "f_000001", !entry.body->block) << entry.url;
        // Each page was fetched once: no reuse, and no fetch count, which this format does not keep.
        EXPECT_EQ(entry.reuseCount, 0u) << entry.url;
        EXPECT_FALSE(entry.fetchCount || entry.markedTruncated) << entry.url;
    }
}

// An entry found in data_1's blocks is read as it is through the index: the same body place,
// times and stored response.
void ExpectReadAlike(const CacheEntry& found, const CacheEntry& expected) {
    const auto facts = [](const CacheEntry& e) {
        const BodyPlace body = e.body.value_or(BodyPlace{"none", 0, 0, std::nullopt});
        return std::tuple(e.url, body.file, body.offset, body.length, body.block, e.created, e.lastUsed, e.requestTime,
                          e.responseTime, e.statusLine, e.contentType, e.contentLength, e.markedTruncated, e.reuseCount);
    };
    EXPECT_TRUE(found.body && found.created && found.lastUsed && found.requestTime && found.responseTime) << found.key;
    EXPECT_EQ(facts(found), facts(expected)) << found.key;
}

// Both caches Chromium wrote, the second with a cut response, a 301 without a body and 404s:
// every key gives its stored hash, and the blocks give the same entries as the index.
TEST(BlockfileCache, FixtureCachesReadAlikeWithoutTheirIndex) {
    const struct { const char* folder; std::size_t markedTruncated, emptyBodies; } rows[] = {
        {"chromium-blockfile", 0, 0},
        {"hostile-chromium-blockfile", 2, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder);
        Files files = ReadFixture(row.folder);
        const CacheContents indexed = ReadOver((files));
        EXPECT_EQ(indexed.findings.Text(), "");
        ASSERT_EQ(indexed.entries.size(), 11u);
        std::map<std::string, const CacheEntry*> byKey;
        for (const CacheEntry& entry : indexed.entries) {
            EXPECT_EQ(entry.findings.Text(), "") << entry.key;
            byKey[entry.key] = &entry;
        }
        EXPECT_EQ(std::count_if(indexed.entries.begin(), indexed.entries.end(),
                                [](const CacheEntry& e) { return e.markedTruncated; }),
                  static_cast<std::ptrdiff_t>(row.markedTruncated));
        EXPECT_EQ(std::count_if(indexed.entries.begin(), indexed.entries.end(),
                                [](const CacheEntry& e) { return e.body && e.body->length == 0; }),
                  static_cast<std::ptrdiff_t>(row.emptyBodies));
        files.erase("index");
        const CacheContents scanned = ReadOver((files));
        EXPECT_NE(scanned.indexUnusable, "");
        ASSERT_EQ(scanned.entries.size(), 11u);
        for (const CacheEntry& entry : scanned.entries) {
            EXPECT_EQ(entry.findings.Text(), "") << entry.key;
            const auto same = byKey.find(entry.key);
            ASSERT_NE(same, byKey.end()) << entry.key;
            ExpectReadAlike(entry, *same->second);
            byKey.erase(same);
        }
    }
}

TEST(BlockfileCache, KeyHashIsChromiumsPersistentHash) {
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

// The fixture's entry of the index.html page: the table's bucket 360512 holds 0xa0010002.
constexpr std::size_t kPageEntry = 8192 + 2 * 256;

std::function<void(Files&)> Set(const char* file, std::size_t at, std::uint32_t value) {
    return [=](Files& f) { test::PutLittleEndian32(static_cast<std::ptrdiff_t>(at), value)(f[file]); };
}
std::function<void(Files&)> Cut(const char* file, std::size_t size) {
    return [=](Files& f) { test::CutTo(size)(f[file]); };
}

TEST(BlockfileCache, DamageIsSaidAndTheRestReadWhole) {
    // Found in the cache's note or an entry's; the entries still read without a note; those deleted.
    const struct {
        const char* name; std::function<void(Files&)> apply; const char* said; std::size_t readWhole;
        std::size_t deleted = 0, markedTruncated = 0;
    } rows[] = {
        {"index cut in its header", Cut("index", 200), "shorter than its header", 11},
        {"index cut in its table", Cut("index", 368 + 4 * 300000), "hash table of 524288", 5},
        {"index magic wrong", Set("index", 0, 0), "index has magic", 11},
        {"table address past data_1", Set("index", 368, 0xa001ff00), "lies past the end", 11},
        {"table address of a rankings block", Set("index", 368, 0x90000001), "not an address of 256-byte blocks", 11},
        {"table address of a free block", Set("index", 368, 0xa0010030), "holds no key", 11},
        {"entry in a bucket not of its hash",
         [](Files& f) { Set("index", 368, 0xa0010002)(f); Set("index", 368 + 4 * 360512, 0)(f); },
         "does not belong in bucket 0", 10},
        {"data_1 missing", [](Files& f) { f.erase("data_1"); }, "data_1 is missing", 0},
        {"data_1 cut in its header", Cut("data_1", 4000), "shorter than its header", 0},
        {"data_1 cut in an entry", Cut("data_1", 8192 + 16 * 256 + 50), "too few for its fields", 3},
        {"data_1 magic wrong", Set("data_1", 0, 0), "not that of a block file", 0},
        {"f_000001 missing", [](Files& f) { f.erase("f_000001"); }, "f_000001 is missing", 10},
        {"data_2 cut in a body", Cut("data_2", 8192 + 0x10 * 1024 + 300), "stream 1 is cut", 9},
        {"data_0 cut", Cut("data_0", 8192 + 36 * 5), "rankings node", 5},
        {"key length huge", Set("data_1", kPageEntry + 32, 0x7fffffff), "runs past the entry", 10},
        {"key length negative", Set("data_1", kPageEntry + 32, 0xfffffff0), "is negative", 10},
        {"long key past data_1", Set("data_1", kPageEntry + 36, 0xa001ff00), "long key", 10},
        {"body size huge", Set("data_1", kPageEntry + 44, 0x7fffffff), "do not fit", 10},
        {"body address past data_2", Set("data_1", kPageEntry + 60, 0xb102ff00), "lies past the end", 10},
        {"headers size huge", Set("data_1", kPageEntry + 40, 0x7fffffff), "stream 0", 10},
        {"response info cut in its flags", Cut("data_1", 8192 + 4 * 256 + 7), "stored response: cut in its flags", 0},
        {"response info size huge", Set("data_1", 8192 + 4 * 256, 0xffffff00),
         "stored response: its size runs past stream 0", 10},
        {"header text length huge", Set("data_1", 8192 + 4 * 256 + 36, 0x7fffff00),
         "stored response: its headers run past its end", 10},
        {"response marked truncated", Set("data_1", 8192 + 4 * 256 + 4, 0x80041003), "", 11, 0, 1},
        {"a byte of the key changed", [](Files& f) { test::FlipBit(kPageEntry + 96 + 20)(f["data_1"]); },
         "the key does not match its stored hash 0xa69d8040", 10},
        {"the stored hash changed", Set("data_1", kPageEntry, 0xa69d8041), "the key does not match its stored hash",
         10},
        {"entry's chain loops to itself", Set("data_1", kPageEntry + 4, 0xa0010002), "", 11},
        {"rankings node of another entry", Set("data_1", kPageEntry + 8, 0x90000001), "belongs to entry", 10},
        {"entry state unknown", Set("data_1", kPageEntry + 20, 7), "state 7 is unknown", 10},
        {"entry evicted", Set("data_1", kPageEntry + 20, 1), "", 11, 1},
        {"entry doomed", Set("data_1", kPageEntry + 20, 2), "", 11, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Files files = FixtureFiles();
        row.apply(files);
        const CacheContents cache = ReadOver((files));
        std::string notes = CacheText(cache);
        for (const CacheEntry& entry : cache.entries) notes.append("\n").append(entry.findings.Text());
        EXPECT_NE(notes.find(row.said), std::string::npos) << notes;
        EXPECT_EQ(ExpectWholeEntriesAsServed(files, cache.entries), row.readWhole) << notes;
        EXPECT_LE(cache.entries.size(), 12u);
        EXPECT_EQ(std::count_if(cache.entries.begin(), cache.entries.end(), [](auto& e) { return e.deleted; }),
                  row.deleted);
        EXPECT_EQ(std::count_if(cache.entries.begin(), cache.entries.end(),
                                [](auto& e) { return e.markedTruncated; }),
                  row.markedTruncated);
    }
}

// The page's entry with its body stream emptied, as a redirect's entry is stored, and used again
// five times: its empty body is placed at the entry, its reuse count kept as such.
TEST(BlockfileCache, EmptyBodyAndReuseCountOfTheEntryAsStored) {
    Files files = FixtureFiles();
    Set("data_1", kPageEntry + 44, 0)(files);
    Set("data_1", kPageEntry + 12, 5)(files);
    for (const bool withIndex : {true, false}) {
        if (!withIndex) files.erase("index");
        const CacheContents cache = ReadOver((files));
        const auto page = std::find_if(cache.entries.begin(), cache.entries.end(),
                                       [](const CacheEntry& e) { return e.url.ends_with("/index.html"); });
        ASSERT_NE(page, cache.entries.end());
        EXPECT_EQ(page->findings.Text(), "");
        ASSERT_TRUE(page->body);
        EXPECT_EQ(page->body->file, "data_1");
        EXPECT_EQ(page->body->offset, kPageEntry);
        EXPECT_EQ(page->body->length, 0u);
        EXPECT_EQ(page->body->block, 2u);
        EXPECT_EQ(page->reuseCount, 5u);
        EXPECT_FALSE(page->fetchCount);
    }
}

// Without a usable index the entries are found in data_1's blocks: the same entries, read alike.
TEST(BlockfileCache, UnusableIndexEntriesFoundInBlocks) {
    std::map<std::string, CacheEntry> throughIndex;
    for (const CacheEntry& entry : ReadOver(FixtureFiles()).entries) throughIndex[entry.key] = entry;
    ASSERT_EQ(throughIndex.size(), 11u);
    const std::string read = "index is missing: entries read from data_1 block by block";
    const struct {
        const char* name; std::function<void(Files&)> apply; std::string note;
        std::size_t entries, notFound = 0, deleted = 0;
        std::string entryNote = "";  // how the note of every entry not deleted begins; empty: no note
    } rows[] = {
        {"index missing", [](Files& f) { f.erase("index"); }, read, 11},
        {"index zeroed", [](Files& f) { f["index"].assign(f["index"].size(), '\0'); },
         "index is all zeros: entries read from data_1 block by block", 11},
        {"index magic changed", Set("index", 0, 0xC103CAC4),
         "index has magic 0xc103cac4, not that of a blockfile index: entries read from data_1 block by block", 11},
        {"index cut in its header", Cut("index", 367),
         "index is 367 bytes, shorter than its header: entries read from data_1 block by block", 11},
        {"a byte of a key changed: no entry there",
         [](Files& f) { f.erase("index"); test::FlipBit(kPageEntry + 96 + 20)(f["data_1"]); }, read, 10, 1},
        {"an entry's stored hash changed: no entry there",
         [](Files& f) { f.erase("index"); Set("data_1", kPageEntry, 0)(f); }, read, 10, 1},
        {"an entry's state unknown: no entry there",
         [](Files& f) { f.erase("index"); Set("data_1", kPageEntry + 20, 3)(f); }, read, 10, 1},
        {"an entry's blocks marked free", [](Files& f) { f.erase("index"); Set("data_1", 80, 0xfffffffb)(f); }, read,
         11, 0, 1},
        {"data_1's header zeroed: its bitmap not believed",
         [](Files& f) { f.erase("index"); f["data_1"].replace(0, 8192, 8192, '\0'); },
         read + "; data_1 has magic 0x00000000, not that of a block file", 11, 0, 0,
         "entry: data_1 has magic 0x00000000, not that of a block file; stream 0: data_1 has magic 0x00000000, not "
         "that of a block file"},
        {"data_1 missing", [](Files& f) { f.erase("index"); f.erase("data_1"); }, read + "; data_1 is missing", 0,
         11},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Files files = FixtureFiles();
        row.apply(files);
        const CacheContents cache = ReadOver((files));
        EXPECT_NE(cache.indexUnusable, "");
        EXPECT_EQ(CacheText(cache), row.note);
        EXPECT_EQ(cache.entries.size(), row.entries);
        std::set<std::string> found;
        std::size_t deleted = 0;
        for (const CacheEntry& entry : cache.entries) {
            found.insert(entry.key);
            const auto same = throughIndex.find(entry.key);
            ASSERT_NE(same, throughIndex.end()) << entry.key;
            deleted += entry.deleted;
            if (!entry.deleted) {
                const std::string notes = entry.findings.Text();
                EXPECT_EQ(notes.substr(0, row.entryNote.empty() ? std::string::npos : row.entryNote.size()),
                          row.entryNote)
                    << entry.key;
            }
            ExpectReadAlike(entry, same->second);
        }
        EXPECT_EQ(throughIndex.size() - found.size(), row.notFound);
        EXPECT_EQ(deleted, row.deleted);
    }
}

// An entry written into data_1's free blocks 40 to 43 with a longer key than any of the fixture's:
// kept inline over as many blocks as it takes, or at a long-key address in f_000002. Its fields
// are the page's, its streams too.
TEST(BlockfileCache, UnusableIndexEntriesWithLongerKeys) {
    const std::string pageKey = "1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:47811/index.html";
    const struct { std::size_t keyLength; bool longKey; } rows[] = {
        {159, false}, {160, false}, {415, false}, {416, false}, {927, false}, {928, true}, {3000, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keyLength);
        Files files = FixtureFiles();
        files.erase("index");
        const std::string key = pageKey + "?" + std::string(row.keyLength - pageKey.size() - 1, 'x');
        const std::size_t at = 8192 + 40 * 256;
        std::string& data1 = files["data_1"];
        data1.replace(at, 96, data1.substr(kPageEntry, 96));
        Set("data_1", at, ChromiumKeyHash(key))(files);
        Set("data_1", at + 8, 0)(files);  // no rankings node: the page's names the page's entry
        Set("data_1", at + 32, static_cast<std::uint32_t>(key.size()))(files);
        if (row.longKey) {
            files["f_000002"] = key;
            Set("data_1", at + 36, 0x80000002)(files);
        } else {
            data1.replace(at + 96, key.size() + 1, key + '\0');
        }
        Set("data_1", 84, 0x00000f0f)(files);  // blocks 40 to 43 in use
        const CacheContents cache = ReadOver((files));
        ASSERT_EQ(cache.entries.size(), 12u);
        const auto added = std::find_if(cache.entries.begin(), cache.entries.end(),
                                        [&](const CacheEntry& e) { return e.key.size() == key.size(); });
        ASSERT_NE(added, cache.entries.end());
        EXPECT_EQ(added->key, key);
        EXPECT_EQ(added->findings.Text(), "");
        EXPECT_FALSE(added->deleted);
        ASSERT_TRUE(added->body);
        EXPECT_EQ(added->body->file, "data_2");
        EXPECT_EQ(added->body->length, 1375u);
    }
}

// A full data_1 names the next file of 256-byte blocks in its header; the scan follows the links,
// each file once.
TEST(BlockfileCache, UnusableIndexBlocksScannedInChainedFiles) {
    Files files = FixtureFiles();
    files.erase("index");
    Set("data_1", 8, 0x00040001)(files);  // this file 1, next 4
    files["data_4"] = files["data_1"];
    Set("data_4", 8, 0x00010004)(files);  // this file 4, next 1: back to the start
    const CacheContents cache = ReadOver((files));
    ASSERT_EQ(cache.entries.size(), 22u);
    // data_4's copies: found by their keys, their rankings nodes still name data_1's entries.
    std::size_t inData4 = 0;
    for (const CacheEntry& entry : cache.entries) {
        const std::string notes = entry.findings.Text();
        inData4 += notes.find("rankings node") != std::string::npos && notes.find("belongs to entry") != std::string::npos;
    }
    EXPECT_EQ(inData4, 11u);

    // A link to a file of other blocks is not followed.
    files = FixtureFiles();
    files.erase("index");
    Set("data_1", 8, 0x00020001)(files);
    const CacheContents linkedToData2 = ReadOver((files));
    EXPECT_EQ(linkedToData2.entries.size(), 11u);
    EXPECT_NE(CacheText(linkedToData2).find("data_2 has blocks of 1024 bytes, not 256"), std::string::npos)
        << CacheText(linkedToData2);
}

// Every file cut at many points: whatever is read without a note is the served entry, whole.
TEST(BlockfileCache, FilesCutAnywhereGiveNotesNotWrongEntries) {
    for (const auto& [name, bytes] : FixtureFiles()) {
        for (std::size_t cut : {std::size_t{0}, std::size_t{7}, std::size_t{8191}, std::size_t{8192 + 37},
                                std::size_t{8192 + 1000}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 1}) {
            if (cut >= bytes.size()) continue;
            SCOPED_TRACE(name + " cut at " + std::to_string(cut));
            Files files = FixtureFiles();
            files[name].resize(cut);
            ExpectWholeEntriesAsServed(files, ReadOver(files).entries);
        }
    }
}

// A file that will not open is said with why, never as missing; an index that will not open is
// why the index is unusable, kept apart from the cache's other findings.
TEST(BlockfileCache, AFileThatWillNotOpenIsSaidWithWhy) {
    for (const char* name : {"data_2", "index"}) {
        SCOPED_TRACE(name);
        MemoryCacheSource source;
        source.files = FixtureFiles();
        source.unreadable[name] = "it could not be opened: denied";
        const CacheContents cache = ReadBlockfileCache(source);
        std::string notes = CacheText(cache);
        for (const CacheEntry& entry : cache.entries) notes.append("\n").append(entry.findings.Text());
        EXPECT_NE(notes.find(std::string(name) + ": it could not be opened: denied"), std::string::npos) << notes;
        EXPECT_EQ(notes.find("is missing"), std::string::npos) << notes;
        EXPECT_EQ(cache.indexUnusable.starts_with("index: it could not be opened"), name == std::string("index"));
        EXPECT_EQ(cache.findings.Text().find("index: "), std::string::npos);
    }
}

}  // namespace

}  // namespace snapsift
