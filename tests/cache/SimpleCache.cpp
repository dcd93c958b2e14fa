// The simple-cache reader over the cache Chromium wrote, and over damaged copies of its files.
#include <gtest/gtest.h>

#include <algorithm>

#include "CacheFixtures.h"
#include "cache/ResponseInfo.h"
#include "cache/SimpleCache.h"

namespace snapsift {

namespace {

using test::AsBytes;
using enum Severity;

const auto kReadSimple = [](CacheSource& files, const std::string& name) { return ReadSimpleCache(files, name); };

TEST(SimpleCache, EveryEntryAsServedAlsoUnderItsDeletionNames) {
    std::vector<std::uint64_t> hashes;
    for (const auto& file : std::filesystem::directory_iterator(test::FixturePath("chromium-simple"))) {
        const std::string name = file.path().filename().string();
        if (!IsSimpleEntryName(name)) continue;
        SCOPED_TRACE(name);
        const std::string bytes = test::ReadBytes(file.path());
        for (const std::string& asNamed : {name, "todelete_" + name + "_7", "todelete_" + name.substr(0, 16)}) {
            const CacheEntry entry = test::ReadFile(kReadSimple, asNamed, bytes).entries.at(0);
            EXPECT_EQ(entry.findings.Text(), "");
            EXPECT_EQ(entry.deleted, asNamed != name);
            EXPECT_TRUE(entry.requestTime && entry.responseTime);
            test::ExpectAsServed(entry, bytes, "1/0/_dk_http://127.0.0.1 http://127.0.0.1 ");
            EXPECT_EQ(entry.body ? entry.body->file : "", asNamed);
        }
        hashes.push_back(*SimpleEntryHash(name));
    }
    EXPECT_EQ(hashes.size(), test::ServedRows().size());

    // The index keeps a last-used time for every entry file, and when it was written.
    const SimpleIndex index = ReadSimpleIndex(AsBytes(test::FixtureFile("chromium-simple/index-dir/the-real-index")));
    EXPECT_EQ(index.findings.Text(), "");
    std::vector<std::uint64_t> indexed;
    for (const auto& e : index.entries) {
        indexed.push_back(e.hash);
        EXPECT_EQ(e.lastUsed, (DateTime{2026, 12, 7, 16, 31, 11}));
    }
    ASSERT_TRUE(index.written);
    EXPECT_EQ(index.written->hour, 16);
    std::sort(indexed.begin(), indexed.end());
    std::sort(hashes.begin(), hashes.end());
    EXPECT_EQ(indexed, hashes);
}

// Which names are entry files: CacheFileOf's table (CachedPhotos.cpp). The hash a name gives: none
// for a file renamed under a random number before its deletion (Windows).
TEST(SimpleCache, EntryFileNameHashes) {
    EXPECT_EQ(SimpleEntryHash("todelete_2560fe1f1365a10a_0_18446744073709551615"), 0x2560fe1f1365a10aull);
    EXPECT_EQ(SimpleEntryHash("todelete_2560fe1f1365a10a"), std::nullopt);
}

TEST(SimpleCache, UrlIsTheLastPartOfTheKey) {
    const struct { const char* key; const char* url; } rows[] = {
        {"1/0/_dk_https://a.example https://a.example https://b.example/x.jpg?q=1", "https://b.example/x.jpg?q=1"},
        {"1/0/https://b.example/x.jpg", "https://b.example/x.jpg"},
        // A sparse child's key names its parent's URL, a signature and a child number in hex.
        {"Range_1/0/_dk_https://a.example https://a.example https://b.example/x.jpg:5:1f", "https://b.example/x.jpg"},
        {"Range_https://b.example/x.jpg?q=1:7fA0:0", "https://b.example/x.jpg?q=1"},
        {"", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(UrlFromChromiumKey(row.key), row.url) << row.key;
}

TEST(SimpleCache, DamagedIndexGivesWhatCanBeReadAndSaysSo) {
    const std::string whole = test::FixtureFile("chromium-simple/index-dir/the-real-index");
    const struct {
        const char* what; test::Damage damage; const char* note; std::size_t entries; Severity severity = Damaged;
    } rows[] = {
        {"cut in the header", test::CutTo(30), "no whole index header", 0},
        {"cut in the fourth entry", test::CutTo(40 + 3 * 24 + 5), "runs past the end", 3},
        {"wrong magic", test::PutLittleEndian32(8, 0), "wrong magic", 0},
        {"entry count huge", test::PutLittleEndian32(24, 0xFFFFFFFF), "runs past the end", 11},
        {"payload size huge", test::PutLittleEndian32(0, 0xFFFFFFFF), "does not match", 11},
        {"no time of writing", test::CutTo(whole.size() - 4), "no time of writing", 11},
        {"another index version", test::PutLittleEndian32(16, 7), "index version 7, read as version 9", 11, Note},
    };
    for (const auto& row : rows) {
        std::string bytes = whole;
        row.damage(bytes);
        const SimpleIndex index = ReadSimpleIndex(AsBytes(bytes));
        EXPECT_EQ(test::SeverityOf(index.findings, row.note), row.severity) << row.what << index.findings.Text();
        EXPECT_EQ(index.entries.size(), row.entries) << row.what;
    }
}

}  // namespace

}  // namespace snapsift
