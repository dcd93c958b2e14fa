// The simple-cache reader against the cache Chromium wrote (tests/caches/fixtures.tar.xz), and
// against damaged copies of its files made here.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "cache/SimpleCache.h"
#include "hash/MD5.h"
#include "support/TempTree.h"

namespace snapsift {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct ManifestRow {
    std::string md5, contentEncoding, contentType;
    std::size_t sentSize = 0;
};

Bytes ReadAll(const fs::path& path) {
    const std::string text = test::ReadBytes(path);
    return Bytes(text.begin(), text.end());
}

std::string Md5(std::span<const std::uint8_t> bytes) {
    MD5 md5;
    md5.Init();
    md5.Update(bytes);
    std::string hex = md5.Final();
    std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    return hex;
}

// A gzip body as the server sent it, inflated.
Bytes Gunzip(std::span<const std::uint8_t> bytes) {
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return {};
    Bytes out(1 << 20);
    z.next_in = const_cast<Bytef*>(bytes.data());
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return status == Z_STREAM_END ? out : Bytes{};
}

class SimpleCacheFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tree_ = new test::TempTree;
        const std::string command = "tar -xJf \"" SNAPSIFT_CACHE_FIXTURES "\" -C \"" + tree_->RootText() + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::istringstream manifest(test::ReadBytes(tree_->Path("manifest.tsv")));
        std::string line;
        std::getline(manifest, line);  // the column names
        while (std::getline(manifest, line)) {
            std::vector<std::string> cells;
            std::istringstream row(line);
            for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
            ASSERT_EQ(cells.size(), 8u) << line;
            manifest_[cells[0]] = {cells[3], cells[4], cells[5], std::stoul(cells[7])};
        }
    }
    static void TearDownTestSuite() {
        delete tree_;
        tree_ = nullptr;
        manifest_.clear();
    }
    static fs::path CachePath(std::string_view name) {
        return tree_->Path("chromium-simple/" + std::string(name));
    }
    static std::map<std::string, Bytes> EntryFiles() {
        std::map<std::string, Bytes> files;
        for (const auto& item : fs::directory_iterator(CachePath("")))
            if (IsSimpleEntryName(item.path().filename().string()))
                files[item.path().filename().string()] = ReadAll(item.path());
        return files;
    }

    static inline test::TempTree* tree_ = nullptr;
    static inline std::map<std::string, ManifestRow> manifest_;
};

TEST_F(SimpleCacheFixture, EveryEntryGivesItsUrlResponseAndStoredBody) {
    const auto files = EntryFiles();
    ASSERT_EQ(files.size(), manifest_.size());
    std::map<std::string, int> seen;
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const CacheEntry entry = ReadSimpleEntry(name, bytes);
        EXPECT_EQ(entry.note, "");
        EXPECT_EQ(entry.format, CacheFormat::ChromiumSimple);
        EXPECT_FALSE(entry.deleted);
        EXPECT_EQ(entry.key, "1/0/_dk_http://127.0.0.1 http://127.0.0.1 " + entry.url);
        const auto row = manifest_.find(entry.url);
        ASSERT_NE(row, manifest_.end()) << entry.url;
        ++seen[entry.url];
        EXPECT_EQ(entry.statusLine, "HTTP/1.1 200 OK");
        EXPECT_EQ(entry.contentType, row->second.contentType);
        EXPECT_EQ(entry.contentEncoding, row->second.contentEncoding);
        EXPECT_TRUE(entry.requestTime && entry.responseTime);
        ASSERT_TRUE(entry.body);
        EXPECT_EQ(entry.body->file, name);
        ASSERT_LE(entry.body->offset + entry.body->length, bytes.size());
        const auto body = std::span(bytes).subspan(entry.body->offset, entry.body->length);
        EXPECT_EQ(body.size(), row->second.sentSize);
        EXPECT_EQ(Md5(row->second.contentEncoding == "gzip" ? Gunzip(body) : Bytes(body.begin(), body.end())),
                  row->second.md5);
    }
    EXPECT_EQ(seen.size(), manifest_.size());
}

TEST_F(SimpleCacheFixture, EntriesUnderADeletionNameAreMarkedDeleted) {
    const Bytes bytes = ReadAll(CachePath("cb9ca433c1a42445_0"));
    for (const char* name : {"todelete_cb9ca433c1a42445_0_7", "todelete_0123456789abcdef"}) {
        const CacheEntry entry = ReadSimpleEntry(name, bytes);
        EXPECT_TRUE(entry.deleted) << name;
        EXPECT_EQ(entry.note, "") << name;
        EXPECT_EQ(entry.url, "http://127.0.0.1:47811/photos/n1234567_890_123.jpg") << name;
    }
    EXPECT_FALSE(ReadSimpleEntry("cb9ca433c1a42445_0", bytes).deleted);
}

TEST_F(SimpleCacheFixture, TimesOfTheStoredResponse) {
    // Request 0x2fc0a409794f79 and response 0x2fc0a40979714b microseconds since 1601 in the
    // PNG's entry: 16:31:11 UTC on the day the caches were made.
    const CacheEntry entry = ReadSimpleEntry("2560fe1f1365a10a_0", ReadAll(CachePath("2560fe1f1365a10a_0")));
    EXPECT_EQ(entry.requestTime, (DateTime{2026, 12, 7, 16, 31, 11}));
    EXPECT_EQ(entry.responseTime, (DateTime{2026, 12, 7, 16, 31, 11}));
}

TEST_F(SimpleCacheFixture, IndexGivesALastUsedTimeForEveryEntryFile) {
    const SimpleIndex index = ReadSimpleIndex(ReadAll(CachePath("index-dir/the-real-index")));
    EXPECT_EQ(index.note, "");
    ASSERT_TRUE(index.written);
    EXPECT_EQ(index.written->year, 2026);
    std::vector<std::uint64_t> fromNames, fromIndex;
    for (const auto& [name, bytes] : EntryFiles()) fromNames.push_back(*SimpleEntryHash(name));
    for (const auto& e : index.entries) {
        fromIndex.push_back(e.hash);
        ASSERT_TRUE(e.lastUsed);
        EXPECT_EQ(*e.lastUsed, (DateTime{2026, 12, 7, 16, 31, 11}));
    }
    std::sort(fromIndex.begin(), fromIndex.end());
    EXPECT_EQ(fromIndex, fromNames);
}

TEST(SimpleCacheNames, EntryFilesOnly) {
    const struct { const char* name; bool entry; std::optional<std::uint64_t> hash; } rows[] = {
        {"2560fe1f1365a10a_0", true, 0x2560fe1f1365a10aull},
        {"todelete_2560fe1f1365a10a_0_3", true, 0x2560fe1f1365a10aull},
        {"todelete_2560fe1f1365a10a_0_18446744073709551615", true, 0x2560fe1f1365a10aull},
        {"todelete_2560fe1f1365a10a", true, std::nullopt},
        {"todelete_2560fe1f1365a10a_0_", false, std::nullopt},
        {"todelete_2560fe1f1365a10a_1_3", false, std::nullopt},
        {"todelete_2560fe1f1365a10a_0_3x", false, std::nullopt},
        {"2560FE1F1365A10A_0", false, std::nullopt},
        {"2560fe1f1365a10a_1", false, std::nullopt},
        {"2560fe1f1365a10a_s", false, std::nullopt},
        {"2560fe1f1365a10_0", false, std::nullopt},
        {"2560fe1f1365a10a_00", false, std::nullopt},
        {"index", false, std::nullopt},
        {"todelete_", false, std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsSimpleEntryName(row.name), row.entry) << row.name;
        EXPECT_EQ(SimpleEntryHash(row.name), row.hash) << row.name;
    }
}

TEST(SimpleCacheKeys, UrlIsTheLastPartOfTheKey) {
    const struct { const char* key; const char* url; } rows[] = {
        {"1/0/_dk_https://a.example https://a.example https://b.example/x.jpg?q=1", "https://b.example/x.jpg?q=1"},
        {"1/0/https://b.example/x.jpg", "https://b.example/x.jpg"},
        {"https://b.example/x.jpg", "https://b.example/x.jpg"},
        {"12/x/https://b.example/", "12/x/https://b.example/"},
        {"", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(UrlFromChromiumKey(row.key), row.url) << row.key;
}

void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST_F(SimpleCacheFixture, DamagedEntriesGiveWhatCanBeReadAndSaySoWithoutCrashing) {
    // The photo n1234567_890_123.jpg: key of 92 bytes, body of 3000, stream 0 of 308.
    const std::string name = "cb9ca433c1a42445_0";
    const Bytes whole = ReadAll(CachePath(name));
    const std::size_t keyEnd = 24 + 92, bodyEnd = keyEnd + 3000, stream0 = bodyEnd + 24, last = whole.size() - 24;
    ASSERT_EQ(last, stream0 + 308 + 32);
    const auto cut = [](std::size_t size) { return [size](Bytes& b) { b.resize(size); }; };
    const auto set = [](std::size_t at, std::uint32_t value) { return [at, value](Bytes& b) { PutU32(b, at, value); }; };
    const struct {
        const char* what;
        std::string fileName;
        std::function<void(Bytes&)> damage;
        std::string note;                 // a part of the note
        std::optional<std::size_t> body;  // the body's length, when one is placed
        bool headers;                     // the status line and content type are read
    } rows[] = {
        {"empty", name, cut(0), "no whole header", std::nullopt, false},
        {"cut in the header", name, cut(10), "no whole header", std::nullopt, false},
        {"cut in the key", name, cut(70), "key length 92 runs past", std::nullopt, false},
        {"cut in the body", name, cut(keyEnd + 1000), "cut short in the body", 1000, false},
        {"cut in stream 1's end record", name, cut(bodyEnd + 10), "cut short in the body", 3010, false},
        {"cut in stream 0's flags", name, cut(stream0 + 6), "cut in its flags", 3000, false},
        {"cut in stream 0's headers", name, cut(stream0 + 60), "headers run past", 3000, false},
        {"cut before the last end record", name, cut(last), "first end record after the key", 3000, true},
        {"cut by one byte", name, cut(whole.size() - 1), "first end record after the key", 3000, true},
        {"wrong magic", name, set(0, 0x12345678), "wrong magic", std::nullopt, false},
        {"key length huge", name, set(12, 0xFFFFFFFF), "runs past the end", std::nullopt, false},
        {"key length one past the end", name, set(12, static_cast<std::uint32_t>(whole.size() - 23)),
         "runs past the end", std::nullopt, false},
        {"stream 0 size huge", name, set(last + 16, 0xFFFFFFF0), "does not fit", 3000, true},
        {"stream 0 size pointing into the body", name, set(last + 16, 1000), "no end record where stream 1",
         3000, true},
        {"last end record's magic broken", name, set(last, 0), "no end record at the end", 3000, true},
        {"stream 1's end record giving a wrong size", name, set(bodyEnd + 16, 5), "gives size 5", 3000, true},
        {"stored response's size huge", name, set(stream0, 0xFFFFFFFF), "runs past stream 0", 3000, true},
        {"headers' length huge", name, set(stream0 + 4 + 4 + 4 + 24, 0x7FFFFFFF), "headers run past", 3000,
         false},
        // Without its flag the original response time is not skipped, and is taken for the headers' length.
        {"extra flags without the original response time", name, set(stream0 + 8, 2), "headers run past", 3000,
         false},
        {"a byte of the body changed", name, [&](Bytes& b) { b[keyEnd + 1500] ^= 1; }, "body's CRC-32", 3000, true},
        {"a byte of the stored headers changed", name, [&](Bytes& b) { b[stream0 + 60] ^= 1; },
         "stored response's CRC-32", 3000, true},
        {"response version unknown", name, set(stream0 + 4, 0x80040009), "unknown version 9", 3000, true},
        {"file named for another key", "2560fe1f1365a10a_0", [](Bytes&) {}, "hash does not match", 3000, true},
        {"doomed entry named for another key", "todelete_2560fe1f1365a10a_0_1", [](Bytes&) {}, "hash does not match",
         3000, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Bytes bytes = whole;
        row.damage(bytes);
        CacheEntry entry;
        EXPECT_NO_THROW(entry = ReadSimpleEntry(row.fileName, bytes));
        EXPECT_NE(entry.note.find(row.note), std::string::npos) << entry.note;
        ASSERT_EQ(entry.body.has_value(), row.body.has_value());
        if (entry.body) {
            EXPECT_EQ(entry.body->offset, keyEnd);
            EXPECT_EQ(entry.body->length, *row.body);
            EXPECT_EQ(entry.url, "http://127.0.0.1:47811/photos/n1234567_890_123.jpg");
        }
        EXPECT_EQ(entry.statusLine == "HTTP/1.1 200 OK" && entry.contentType == "image/jpeg", row.headers)
            << entry.statusLine;
    }
}

TEST_F(SimpleCacheFixture, DamagedIndexGivesWhatCanBeReadAndSaysSo) {
    const Bytes whole = ReadAll(CachePath("index-dir/the-real-index"));
    const struct {
        const char* what;
        std::function<void(Bytes&)> damage;
        const char* note;
        std::size_t entries;
    } rows[] = {
        {"cut in the header", [](Bytes& b) { b.resize(30); }, "no whole index header", 0},
        {"cut in the fourth entry", [](Bytes& b) { b.resize(40 + 3 * 24 + 5); }, "runs past the end", 3},
        {"wrong magic", [](Bytes& b) { PutU32(b, 8, 0); }, "wrong magic", 0},
        {"entry count huge", [](Bytes& b) { PutU32(b, 24, 0xFFFFFFFF); }, "runs past the end", 11},
        {"payload size huge", [](Bytes& b) { PutU32(b, 0, 0xFFFFFFFF); }, "does not match", 11},
        {"no time of writing", [](Bytes& b) { b.resize(b.size() - 4); }, "no time of writing", 11},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Bytes bytes = whole;
        row.damage(bytes);
        SimpleIndex index;
        EXPECT_NO_THROW(index = ReadSimpleIndex(bytes));
        EXPECT_NE(index.note.find(row.note), std::string::npos) << index.note;
        EXPECT_EQ(index.entries.size(), row.entries);
    }
}

}  // namespace

}  // namespace snapsift
