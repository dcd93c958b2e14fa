// The one-file-per-entry caches (Chromium's simple cache, Firefox's cache2) as the browsers wrote
// them: their entry files, the simple cache's index, and the URLs their keys give.
#include <gtest/gtest.h>

#include <algorithm>

#include "CacheFixtures.h"
#include "cache/FirefoxCache.h"
#include "cache/ResponseInfo.h"
#include "cache/Sha1.h"
#include "cache/SimpleCache.h"

namespace snapsift {

namespace {

using test::AsBytes;
using enum Severity;

// Every entry file, read under its own name and under those it is given on its way out (Chromium's
// todelete_ names; a random number in Firefox's doomed/): the served entry, deleted but under its
// own name, its body in the file it was read from.
TEST(EntryFiles, EveryEntryAsServedUnderEachName) {
    std::vector<std::uint64_t> hashes;
    for (const bool simple : {true, false}) {
        std::size_t read = 0;
        for (const auto& file : std::filesystem::directory_iterator(
                 test::FixturePath(simple ? "chromium-simple" : "firefox-cache2/entries"))) {
            const std::string name = file.path().filename().string(), bytes = test::ReadBytes(file.path());
            if (simple && !IsSimpleEntryName(name)) continue;
            SCOPED_TRACE(name);
            EXPECT_TRUE(simple || IsCache2EntryFileName(name));
            const std::vector<std::string> names = simple ? std::vector<std::string>{name, "todelete_" + name + "_7",
                                                                                     "todelete_" + name.substr(0, 16)}
                                                          : std::vector<std::string>{name, "2147483647"};
            for (const std::string& asNamed : names) {
                const bool deleted = asNamed != name;
                MemoryCacheSource source;
                source.files[asNamed] = bytes;
                const CacheEntry entry = (simple ? ReadSimpleCache(source, asNamed)
                                                 : ReadCache2(source, asNamed, deleted ? Cache2Folder::Doomed : Cache2Folder::Entries))
                                             .entries.at(0);
                EXPECT_EQ(std::tuple(entry.findings.Text(), entry.deleted, entry.body ? entry.body->file : "", entry.format),
                          std::tuple("", deleted, simple ? asNamed : (deleted ? "doomed/" : "entries/") + asNamed,
                                     simple ? CacheFormat::ChromiumSimple : CacheFormat::FirefoxCache2));
                EXPECT_TRUE(simple ? entry.requestTime && entry.responseTime
                                   : entry.lastUsed && entry.lastModified && !entry.created && entry.fetchCount == 1u);
                test::ExpectAsServed(entry, bytes, simple ? "1/0/_dk_http://127.0.0.1 http://127.0.0.1 "
                                                          : "O^partitionKey=%28http%2C127.0.0.1%29,:");
            }
            if (simple) hashes.push_back(*SimpleEntryHash(name));
            ++read;
        }
        EXPECT_EQ(read, test::ServedRows().size());
    }

    // The simple cache's index keeps a last-used time for every entry file, and when it was written.
    const SimpleIndex index = ReadSimpleIndex(AsBytes(test::FixtureFile("chromium-simple/index-dir/the-real-index")));
    EXPECT_EQ(index.findings.Text(), "");
    std::vector<std::uint64_t> indexed;
    for (const auto& e : index.entries) {
        indexed.push_back(e.hash);
        EXPECT_EQ(e.lastUsed, (DateTime{2026, 12, 7, 16, 31, 11}));
    }
    EXPECT_EQ(index.written.value_or(DateTime{}).hour, 16);
    std::sort(indexed.begin(), indexed.end());
    std::sort(hashes.begin(), hashes.end());
    EXPECT_EQ(indexed, hashes);
    // A name renamed under a random number before its deletion (Windows) gives its hash; one cut short none.
    EXPECT_EQ(SimpleEntryHash("todelete_2560fe1f1365a10a_0_18446744073709551615"), 0x2560fe1f1365a10aull);
    EXPECT_EQ(SimpleEntryHash("todelete_2560fe1f1365a10a"), std::nullopt);
}

TEST(EntryFiles, DamagedSimpleIndexGivesWhatCanBeReadAndSaysSo) {
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

TEST(EntryFiles, UrlFromKey) {
    const struct { const char* key; std::optional<std::string> url; bool cache2; } rows[] = {
        {"1/0/_dk_https://a.example https://a.example https://b.example/x.jpg?q=1", "https://b.example/x.jpg?q=1", false},
        {"1/0/https://b.example/x.jpg", "https://b.example/x.jpg", false},
        // A sparse child's key names its parent's URL, a signature and a child number in hex.
        {"Range_1/0/_dk_https://a.example https://a.example https://b.example/x.jpg:5:1f", "https://b.example/x.jpg", false},
        {"Range_https://b.example/x.jpg?q=1:7fA0:0", "https://b.example/x.jpg?q=1", false},
        {"", "", false},
        {"a,:https://cdn/x.jpg?a=1,b=2", "https://cdn/x.jpg?a=1,b=2", true},
        {"O^firstPartyDomain=a,,b:c,~1234,:http://x/z", "http://x/z", true},  // ",," is a comma
        {"i42,:http://x/old", "http://x/old", true},
        {"a,:", "", true},
        // Context-eviction marks and damaged keys name no URL.
        {"O^userContextId=5,a,", std::nullopt, true},
        {"p,a,:http://x/", std::nullopt, true},  // tags out of order
        {"a:http://x/", std::nullopt, true},
        {"i,:http://x/", std::nullopt, true},
        {"\x01,:http://x/", std::nullopt, true},
        {"", std::nullopt, true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.cache2 ? Cache2KeyUrl(row.key) : std::optional(UrlFromChromiumKey(row.key)), row.url) << row.key;
}

TEST(EntryFiles, Sha1Vectors) {  // one block, and the padding that spills into a second
    EXPECT_EQ(Sha1Hex(AsBytes("abc")), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(Sha1Hex(AsBytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
}

}  // namespace

}  // namespace snapsift
