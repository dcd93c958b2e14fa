// Firefox's cache2 entries as firefox-esr wrote them, and damaged copies of them.
#include <gtest/gtest.h>

#include "CacheFixtures.h"
#include "cache/FirefoxCache.h"
#include "cache/Sha1.h"

namespace snapsift {

namespace {

using namespace std::literals;
using test::AsBytes;

TEST(Cache2, EveryEntryAsServedInEntriesAndInDoomed) {
    std::size_t read = 0;
    for (const auto& file : std::filesystem::directory_iterator(test::FixturePath("firefox-cache2/entries"))) {
        const std::string name = file.path().filename().string(), bytes = test::ReadBytes(file.path());
        SCOPED_TRACE(name);
        ASSERT_TRUE(IsCache2EntryFileName(name));
        // The same file found in doomed/ under the random number the browser gives it there.
        for (const auto folder : {Cache2Folder::Entries, Cache2Folder::Doomed}) {
            const bool doomed = folder == Cache2Folder::Doomed;
            const CacheEntry entry =
                test::ReadFile([&](CacheSource& files, const std::string& named) { return ReadCache2(files, named, folder); },
                               doomed ? "2147483647" : name, bytes).entries.at(0);
            EXPECT_EQ(entry.findings.Text(), "");
            EXPECT_EQ(entry.format, CacheFormat::FirefoxCache2);
            EXPECT_EQ(entry.deleted, doomed);
            EXPECT_EQ(entry.fetchCount, 1u);
            EXPECT_TRUE(entry.lastUsed && entry.lastModified && !entry.created);
            test::ExpectAsServed(entry, bytes, "O^partitionKey=%28http%2C127.0.0.1%29,:");
            ASSERT_TRUE(entry.body);
            EXPECT_EQ(entry.body->file, doomed ? "doomed/2147483647" : "entries/" + name);
            EXPECT_EQ(entry.body->offset, 0u);
        }
        ++read;
    }
    EXPECT_EQ(read, test::ServedRows().size());
}

TEST(Cache2, UrlFromKey) {
    const struct { const char* key; std::optional<std::string> url; } rows[] = {
        {"a,:https://cdn/x.jpg?a=1,b=2", "https://cdn/x.jpg?a=1,b=2"},
        {"O^firstPartyDomain=a,,b:c,~1234,:http://x/z", "http://x/z"},  // ",," is a comma
        {"i42,:http://x/old", "http://x/old"},
        {"a,:", ""},
        // Context-eviction marks and damaged keys name no URL.
        {"O^userContextId=5,a,", std::nullopt},
        {"p,a,:http://x/", std::nullopt},  // tags out of order
        {"a:http://x/", std::nullopt},
        {"i,:http://x/", std::nullopt},
        {"\x01,:http://x/", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(Cache2KeyUrl(row.key), row.url) << row.key;
}

TEST(Cache2, Sha1Vectors) {  // one block, and the padding that spills into a second
    EXPECT_EQ(Sha1Hex(AsBytes("abc")), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(Sha1Hex(AsBytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
}

}  // namespace

}  // namespace snapsift
