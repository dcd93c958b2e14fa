// Firefox's cache2 entries as firefox-esr wrote them (tests/caches), and damaged copies of them.
#include "cache/FirefoxCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "cache/Sha1.h"
#include "hash/MD5.h"
#include "support/TempTree.h"

#ifdef SNAPSIFT_TEST_ZLIB
#include <zlib.h>
#endif

namespace snapsift {

namespace {

using namespace std::literals;

std::span<const std::uint8_t> Span(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct Served {
    std::string url, md5, contentEncoding, contentType;
    std::uint64_t sentSize = 0;
};

// The fixture caches, unpacked once for the whole run.
struct Fixtures {
    test::TempTree tree;
    std::vector<Served> served;
    Fixtures() {
        const std::string command =
            "tar -xJf '" SNAPSIFT_CACHE_FIXTURES "' -C '" + test::ToText(tree.Root()) + "'";
        if (std::system(command.c_str()) != 0) return;
        std::istringstream manifest(test::ReadBytes(tree.Path("manifest.tsv")));
        std::string line;
        std::getline(manifest, line);  // the column names
        while (std::getline(manifest, line)) {
            std::vector<std::string> cells;
            std::istringstream row(line);
            for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
            if (cells.size() < 8) continue;
            served.push_back({cells[0], cells[3], cells[4], cells[5], std::stoull(cells[7])});
        }
    }
    std::filesystem::path Entries() const { return tree.Path("firefox-cache2/entries"); }
};

const Fixtures& Caches() {
    static const Fixtures fixtures;
    return fixtures;
}

std::string Md5(std::span<const std::uint8_t> bytes) {
    MD5 md5;
    md5.Init();
    md5.Update(bytes);
    std::string digest = md5.Final();
    for (char& c : digest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return digest;
}

std::string Inflated(std::span<const std::uint8_t> gzip) {
#ifdef SNAPSIFT_TEST_ZLIB
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return {};
    std::string out;
    stream.next_in = const_cast<Bytef*>(gzip.data());
    stream.avail_in = static_cast<uInt>(gzip.size());
    int status = Z_OK;
    while (status == Z_OK) {
        char buffer[4096];
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? out : std::string();
#else
    (void)gzip;
    return {};
#endif
}

std::int64_t UnixSeconds(const DateTime& t) {
    using namespace std::chrono;
    const sys_days day{year{t.year} / t.month / t.day};
    return (day + hours{t.hour} + minutes{t.minute} + seconds{t.second}).time_since_epoch() / 1s;
}

}  // namespace

TEST(Cache2, EveryFixtureEntryAsServed) {
    const Fixtures& caches = Caches();
    ASSERT_EQ(caches.served.size(), 11u) << "the fixtures were not unpacked";
    std::map<std::string, int> seen;
    for (const auto& file : std::filesystem::directory_iterator(caches.Entries())) {
        const std::string name = file.path().filename().string();
        const std::string bytes = test::ReadBytes(file.path());
        SCOPED_TRACE(name);
        ASSERT_TRUE(IsCache2EntryFileName(name));
        const CacheEntry entry = ReadCache2Entry(name, Span(bytes));
        EXPECT_EQ(entry.note, "");
        EXPECT_EQ(entry.format, CacheFormat::FirefoxCache2);
        EXPECT_FALSE(entry.deleted);
        const auto row = std::find_if(caches.served.begin(), caches.served.end(),
                                      [&](const Served& s) { return s.url == entry.url; });
        ASSERT_NE(row, caches.served.end()) << entry.url;
        ++seen[entry.url];
        EXPECT_EQ(entry.key, "O^partitionKey=%28http%2C127.0.0.1%29,:" + row->url);
        EXPECT_EQ(entry.statusLine, "HTTP/1.1 200 OK");
        EXPECT_EQ(entry.contentType, row->contentType);
        EXPECT_EQ(entry.contentEncoding, row->contentEncoding);
        EXPECT_EQ(entry.fetchCount, 1u);
        EXPECT_FALSE(entry.created);

        // The times the browser wrote and last fetched it: when the file was last written.
        ASSERT_TRUE(entry.lastUsed && entry.lastModified);
        const auto written = std::chrono::file_clock::to_sys(file.last_write_time());
        const std::int64_t writtenSeconds =
            std::chrono::duration_cast<std::chrono::seconds>(written.time_since_epoch()).count();
        EXPECT_LE(std::llabs(UnixSeconds(*entry.lastModified) - writtenSeconds), 60);
        EXPECT_LE(std::llabs(UnixSeconds(*entry.lastUsed) - writtenSeconds), 60);

        ASSERT_TRUE(entry.body);
        EXPECT_EQ(entry.body->file, "entries/" + name);
        EXPECT_EQ(entry.body->offset, 0u);
        EXPECT_EQ(entry.body->length, row->sentSize);
        ASSERT_LE(entry.body->length, bytes.size());
        const auto body = Span(bytes).subspan(0, entry.body->length);
        if (row->contentEncoding.empty()) {
            EXPECT_EQ(Md5(body), row->md5);
        } else {
#ifdef SNAPSIFT_TEST_ZLIB
            EXPECT_EQ(Md5(Span(Inflated(body))), row->md5);
#endif
        }

        // The same file found in doomed/ under the random number the browser gives it there.
        const CacheEntry doomed = ReadCache2Entry("2147483647", Span(bytes), Cache2Folder::Doomed);
        EXPECT_TRUE(doomed.deleted);
        EXPECT_EQ(doomed.note, "");
        EXPECT_EQ(doomed.url, entry.url);
        ASSERT_TRUE(doomed.body);
        EXPECT_EQ(doomed.body->file, "doomed/2147483647");
    }
    for (const Served& s : caches.served) EXPECT_EQ(seen[s.url], 1) << s.url;
}

TEST(Cache2, EntryFileNames) {
    const struct {
        const char* name;
        Cache2Folder folder;
        bool entry;
    } rows[] = {
        {"0352CAE71DC5E1DD21CA3ABCF906CE247863CD88", Cache2Folder::Entries, true},
        {"0352cae71dc5e1dd21ca3abcf906ce247863cd88", Cache2Folder::Entries, false},
        {"0352CAE71DC5E1DD21CA3ABCF906CE247863CD8", Cache2Folder::Entries, false},
        {"0352CAE71DC5E1DD21CA3ABCF906CE247863CD88X", Cache2Folder::Entries, false},
        {"ce_T151c2VyQ29udGV4dElkPTUs", Cache2Folder::Entries, false},
        {"ce_T151c2VyQ29udGV4dElkPTUsYSw=", Cache2Folder::Entries, false},
        {"index", Cache2Folder::Entries, false},
        {"1804289383", Cache2Folder::Doomed, true},
        {"1804289383", Cache2Folder::Entries, false},
        {"0352CAE71DC5E1DD21CA3ABCF906CE247863CD88", Cache2Folder::Doomed, false},
        {"", Cache2Folder::Doomed, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IsCache2EntryFileName(row.name, row.folder), row.entry) << row.name;
}

TEST(Cache2, UrlFromKey) {
    const struct {
        const char* key;
        std::optional<std::string> url;
    } rows[] = {
        {"O^partitionKey=%28http%2C127.0.0.1%29,:http://127.0.0.1:47811/p/n1_2_3.jpg",
         "http://127.0.0.1:47811/p/n1_2_3.jpg"},
        {"a,:https://cdn/x.jpg?a=1,b=2", "https://cdn/x.jpg?a=1,b=2"},
        {"O^userContextId=5,a,p,:https://cdn/y.jpg", "https://cdn/y.jpg"},
        {"O^firstPartyDomain=a,,b:c,~1234,:http://x/z", "http://x/z"},  // ",," is a comma
        {"i42,:http://x/old", "http://x/old"},
        {":http://x/", "http://x/"},
        {"a,:", ""},
        // Context-eviction marks and damaged keys name no URL.
        {"O^userContextId=5,", std::nullopt},
        {"O^userContextId=5,a,", std::nullopt},
        {"p,a,:http://x/", std::nullopt},  // tags out of order
        {"a:http://x/", std::nullopt},
        {"O^abc", std::nullopt},
        {"i,:http://x/", std::nullopt},
        {"\x01,:http://x/", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(Cache2KeyUrl(row.key), row.url) << row.key;
}

TEST(Cache2, Sha1Vectors) {
    const struct {
        std::string message, digest;
    } rows[] = {
        {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
        {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
        {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
    };
    for (const auto& row : rows) EXPECT_EQ(Sha1Hex(Span(row.message)), row.digest) << row.message.size();
}

// Copies of one fixture entry damaged in one way each: every one read without a crash, with a
// note saying what went wrong and no body placed past the file's end.
TEST(Cache2, DamagedEntries) {
    const std::string name = "AD84EA50A48CC4AB8D20432B0FA27307F14CDDC4";  // 5000-byte photo
    const std::string good = test::ReadBytes(Caches().Entries() / name);
    ASSERT_GT(good.size(), 5000u);
    const auto be32 = [](const std::string& b, std::size_t at) {
        return std::uint32_t{static_cast<std::uint8_t>(b[at])} << 24 |
               std::uint32_t{static_cast<std::uint8_t>(b[at + 1])} << 16 |
               std::uint32_t{static_cast<std::uint8_t>(b[at + 2])} << 8 |
               std::uint32_t{static_cast<std::uint8_t>(b[at + 3])};
    };
    const auto put32 = [](std::string& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (24 - 8 * i));
    };
    const std::size_t meta = be32(good, good.size() - 4);
    ASSERT_EQ(meta, 5000u);
    const std::size_t header = meta + 4 + 2;  // one chunk hash
    const std::size_t keySize = be32(good, header + 24);
    const std::size_t trailer = good.size() - 8;
    const std::string url = "http://127.0.0.1:47811/photos/1111_222_3456789_444_555_n.jpg";
    const auto addElement = [&](std::string& b, std::string_view pair) { b.insert(trailer, pair); };

    using Change = std::function<void(std::string&)>;
    const struct {
        const char* name;
        Change change;
        const char* note;          // a part of the note
        bool keepsUrl;             // the URL is still read
        std::uint64_t bodyLength;  // 0: no body is placed
    } rows[] = {
        {"empty", [](std::string& b) { b.clear(); }, "too short", false, 0},
        {"cut to 3 bytes", [](std::string& b) { b.resize(3); }, "too short", false, 0},
        {"cut in the body", [](std::string& b) { b.resize(2500); }, "past the file's end", false, 0},
        {"cut in the key", [&](std::string& b) { b.resize(header + 32 + 20); }, "past the file's end", false,
         0},
        {"cut in the elements", [](std::string& b) { b.resize(b.size() - 100); }, "past the file's end",
         false, 0},
        {"trailer's last word gone", [](std::string& b) { b.resize(b.size() - 4); }, "version", false, 0},
        {"offset huge", [&](std::string& b) { put32(b, b.size() - 4, 0x7FFFFFF0); }, "past the file's end",
         false, 0},
        {"offset at the end",
         [&](std::string& b) { put32(b, b.size() - 4, static_cast<std::uint32_t>(trailer)); }, "too short",
         false, 0},
        {"offset into the body", [&](std::string& b) { put32(b, b.size() - 4, 100); }, "version", false, 0},
        {"wrong version", [&](std::string& b) { put32(b, header, 9); }, "version 9 is not one of 1 to 4",
         false, 0},
        {"version 0", [&](std::string& b) { put32(b, header, 0); }, "version 0", false, 0},
        {"encrypted", [&](std::string& b) { put32(b, b.size() - 4, 0x80000000u | 5000); }, "encrypted", false,
         0},
        {"key size huge", [&](std::string& b) { put32(b, header + 24, 0xFFFFFFFFu); },
         "runs past the metadata", true, 5000},
        {"key size past the end by one",
         [&](std::string& b) { put32(b, header + 24, static_cast<std::uint32_t>(trailer - header - 32)); },
         "runs past the metadata", true, 5000},
        {"key size short",
         [&](std::string& b) { put32(b, header + 24, static_cast<std::uint32_t>(keySize - 4)); },
         "no NUL follows the key", false, 5000},
        {"key's NUL gone", [&](std::string& b) { b[header + 32 + keySize] = 'x'; }, "no NUL follows the key",
         true, 5000},
        {"body byte changed", [](std::string& b) { b[4000] ^= 1; }, "do not match their hashes", true, 5000},
        {"chunk hash changed", [&](std::string& b) { b[meta + 4] ^= 0x40; }, "do not match their hashes",
         true, 5000},
        {"metadata byte changed", [&](std::string& b) { b[header + 12] ^= 1; }, "does not match its hash",
         true, 5000},
        {"file name not the key's", [&](std::string& b) { b[header + 32 + keySize - 1] = 'x'; },
         "not the SHA-1 of its key", false, 5000},
        {"key's tags broken",
         [&](std::string& b) {
             b[header + 32 + 1] = ':';
             b[header + 32] = 'p';
         },
         "tags cannot be read", false, 5000},
        {"last element cut", [&](std::string& b) { b[trailer - 1] = 'x'; }, "is cut short", true, 5000},
        {"element with no value", [&](std::string& b) { addElement(b, std::string("x\0"sv)); },
         "has no value", true, 5000},
        {"element name cut", [&](std::string& b) { addElement(b, "name-without-end"); },
         "inside an element's name", true, 5000},
        {"alt-data within the body",
         [&](std::string& b) { addElement(b, std::string("alt-data\0001;1000,x\0"sv)); },
         "does not match its hash", true, 1000},
        {"alt-data past the body",
         [&](std::string& b) { addElement(b, std::string("alt-data\0001;9999,x\0"sv)); },
         "alternative data's place", true, 5000},
        {"alt-data huge",
         [&](std::string& b) { addElement(b, std::string("alt-data\0001;99999999999999999999,x\0"sv)); },
         "alternative data's place", true, 5000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string bytes = good;
        row.change(bytes);
        CacheEntry entry;
        EXPECT_NO_THROW(entry = ReadCache2Entry(name, Span(bytes)));
        EXPECT_NE(entry.note, "");
        EXPECT_NE(entry.note.find(row.note), std::string::npos) << entry.note;
        if (row.keepsUrl)
            EXPECT_EQ(entry.url, url);
        else
            EXPECT_NE(entry.url, url);
        if (row.bodyLength) {
            ASSERT_TRUE(entry.body);
            EXPECT_EQ(entry.body->length, row.bodyLength);
        } else {
            EXPECT_FALSE(entry.body) << entry.body->length;
        }
        if (entry.body) {
            EXPECT_LE(entry.body->offset + entry.body->length, bytes.size());
        }
    }
}

}  // namespace snapsift
