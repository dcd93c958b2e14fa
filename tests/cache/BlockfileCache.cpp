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
constexpr std::size_t kPageEntry = 8192 + 2 * 256;  // the entry of index.html in data_1

void Set(Files& files, const char* file, std::size_t at, std::uint32_t value) {
    test::PutLittleEndian32(static_cast<std::ptrdiff_t>(at), value)(files[file]);
}

// The page's entry with its body stream emptied, as a redirect's entry is stored, and used again
// five times: its empty body is placed at the entry, its reuse count kept as such.
TEST(BlockfileCache, EmptyBodyAndReuseCountOfTheEntryAsStored) {
    Files files = FixtureFiles();
    Set(files, "data_1", kPageEntry + 44, 0);
    Set(files, "data_1", kPageEntry + 12, 5);
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
        Set(files, "data_1", at, ChromiumKeyHash(key));
        Set(files, "data_1", at + 8, 0);  // no rankings node: the page's names the page's entry
        Set(files, "data_1", at + 32, static_cast<std::uint32_t>(key.size()));
        if (row.longKey) {
            files["f_000002"] = key;
            Set(files, "data_1", at + 36, 0x80000002);
        } else {
            data1.replace(at + 96, key.size() + 1, key + '\0');
        }
        Set(files, "data_1", 84, 0x00000f0f);  // blocks 40 to 43 in use
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
    Set(files, "data_1", 8, 0x00040001);  // this file 1, next 4
    files["data_4"] = files["data_1"];
    Set(files, "data_4", 8, 0x00010004);  // this file 4, next 1: back to the start
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
    Set(files, "data_1", 8, 0x00020001);
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

}  // namespace

}  // namespace snapsift
