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

// Copies of one fixture entry damaged in one way each: a note says what went wrong, and no body
// is placed past the file's end.
TEST(Cache2, DamagedEntries) {
    const std::string name = "AD84EA50A48CC4AB8D20432B0FA27307F14CDDC4";  // the 5000-byte photo
    const std::string good = test::FixtureFile("firefox-cache2/entries/" + name);
    ASSERT_GT(good.size(), 5000u);
    const std::size_t meta = 5000, header = meta + 4 + 2;  // the metadata's hash, one chunk's hash
    const std::string url = "http://127.0.0.1:47811/photos/1111_222_3456789_444_555_n.jpg";
    const std::string keyText = "O^partitionKey=%28http%2C127.0.0.1%29,:" + url;
    const std::size_t key = header + 32, keySize = keyText.size(), trailer = good.size() - 8;
    ASSERT_EQ(good.substr(key, keySize + 1), keyText + '\0');
    const auto set = test::PutBigEndian32;
    const auto cut = test::CutTo;
    const auto put = [](std::size_t at, char c) { return [=](std::string& b) { b[at] = c; }; };
    const auto add = [&](std::string_view pair) { return [=](std::string& b) { b.insert(trailer, pair); }; };
    // A part of the note; whether the URL is still read; the body's length (0: none placed).
    const struct {
        const char* name; test::Damage change; const char* note; bool keepsUrl; std::uint64_t bodyLength;
    } rows[] = {
        {"cut to 3 bytes", cut(3), "too short", false, 0},
        {"cut in the key", cut(key + 20), "past the file's end", false, 0},
        {"trailer's last word gone", cut(good.size() - 4), "version", false, 0},
        {"offset into the trailer", set(-4, static_cast<std::uint32_t>(trailer + 4)), "past the file's end", false, 0},
        {"offset at the end", set(-4, static_cast<std::uint32_t>(trailer)), "too short", false, 0},
        {"offset into the body", set(-4, 100), "version", false, 0},
        {"metadata a byte short of its header",  // no body: the hash, version 4, 27 more bytes, the trailer
         [](std::string& b) { b = "\0\0\0\0\0\0\0\4"s + std::string(27, '\0') + "\0\0\0\4\0\0\0\0"s; },
         "too short to hold its header", false, 0},
        {"wrong version", set(header, 9), "version 9 is not one of 1 to 4", false, 0},
        {"encrypted", set(-4, 0x80000000u | 5000), "encrypted", false, 0},
        {"key size past the end by one", set(header + 24, static_cast<std::uint32_t>(trailer - key)),
         "runs past the metadata", true, 5000},
        {"key size short", set(header + 24, static_cast<std::uint32_t>(keySize - 4)), "no NUL follows the key", false,
         5000},
        {"key's NUL gone", put(key + keySize, 'x'), "no NUL follows the key", true, 5000},
        {"body byte changed", put(4000, 'x'), "do not match their hashes", true, 5000},
        {"metadata byte changed", put(header + 12, 'x'), "does not match its hash", true, 5000},
        {"file name not the key's", put(key + keySize - 1, 'x'), "not the SHA-1 of its key", false, 5000},
        {"key's tags broken", [=](std::string& b) { b.replace(key, 2, "p:"); }, "tags cannot be read", false, 5000},
        {"last element cut", put(trailer - 1, 'x'), "is cut short", true, 5000},
        {"element with no value", add("x\0"sv), "has no value", true, 5000},
        {"element name cut", add("name-without-end"), "inside an element's name", true, 5000},
        {"alt-data within the body", add("alt-data\0" "1;1000,x\0"sv), "does not match its hash", true, 1000},
        {"alt-data past the body", add("alt-data\0" "1;9999,x\0"sv), "alternative data's place", true, 5000},
        {"alt-data huge", add("alt-data\0" "1;99999999999999999999,x\0"sv), "alternative data's place", true, 5000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string bytes = good;
        row.change(bytes);
        const CacheEntry entry =
            test::ReadFile([](CacheSource& files, const std::string& named) { return ReadCache2(files, named); }, name,
                           bytes).entries.at(0);
        EXPECT_EQ(test::SeverityOf(entry.findings, row.note), Severity::Damaged) << entry.findings.Text();
        EXPECT_EQ(entry.url == url, row.keepsUrl);
        EXPECT_EQ(entry.body ? entry.body->length : 0, row.bodyLength);
        if (entry.body) {
            EXPECT_LE(entry.body->offset + entry.body->length, bytes.size());
        }
    }
}

}  // namespace

}  // namespace snapsift
