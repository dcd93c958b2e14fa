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
        {"", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(UrlFromChromiumKey(row.key), row.url) << row.key;
}

TEST(SimpleCache, DamagedEntriesGiveWhatCanBeReadAndSaySo) {
    // The photo n1234567_890_123.jpg: key of 92 bytes, body of 3000, stream 0 of 308.
    const std::string name = "cb9ca433c1a42445_0", whole = test::FixtureFile("chromium-simple/" + name);
    const std::size_t keyEnd = 24 + 92, bodyEnd = keyEnd + 3000, stream0 = bodyEnd + 24, last = whole.size() - 24;
    ASSERT_EQ(last, stream0 + 308 + 32);
    const auto cut = test::CutTo;
    const auto set = test::PutLittleEndian32;
    // A part of the note; the body's length, when one is placed; whether the status line and
    // content type are read.
    const struct {
        const char* what; test::Damage damage; const char* note; std::optional<std::size_t> body; bool headers;
        const char* fileName = "cb9ca433c1a42445_0"; Severity severity = Severity::Damaged;
    } rows[] = {
        {"cut in the header", cut(10), "no whole header", std::nullopt, false},
        {"cut in the key", cut(70), "key length 92 runs past", std::nullopt, false},
        {"cut in the body", cut(keyEnd + 1000), "cut short in the body", 1000, false},
        {"cut in stream 1's end record", cut(bodyEnd + 10), "cut short in the body", 3010, false},
        {"cut in stream 0's flags", cut(stream0 + 7), "cut in its flags", 3000, false},
        {"cut in stream 0's headers", cut(stream0 + 60), "headers run past", 3000, false},
        {"cut by one byte", cut(whole.size() - 1), "first end record after the key", 3000, true},
        {"wrong magic", set(0, 0x12345678), "wrong magic", std::nullopt, false},
        {"key length one past the end", set(12, static_cast<std::uint32_t>(whole.size() - 23)), "runs past the end",
         std::nullopt, false},
        {"stream 0 size huge", set(last + 16, 0xFFFFFFF0), "does not fit", 3000, true},
        {"stream 0 size pointing into the body", set(last + 16, 1000), "no end record where stream 1", 3000, true},
        {"last end record's magic broken", set(last, 0), "no end record at the end", 3000, true},
        {"stream 1's end record giving a wrong size", set(bodyEnd + 16, 5), "gives size 5", 3000, true},
        {"stored response's size a byte past stream 0", set(stream0, 305), "runs past stream 0", 3000, true},
        {"stored response's size huge", set(stream0, 0xFFFFFFFF), "runs past stream 0", 3000, true},
        {"headers' length huge", set(stream0 + 36, 0x7FFFFFFF), "headers run past", 3000, false},
        // Without its flag the original response time is taken for the headers' length.
        {"extra flags without the original response time", set(stream0 + 8, 2), "headers run past", 3000, false},
        {"a byte of the body changed", test::FlipBit(keyEnd + 1500), "body's CRC-32", 3000, true},
        {"a byte of the stored headers changed", test::FlipBit(stream0 + 60), "stored response's CRC-32", 3000, true},
        {"response version unknown", set(stream0 + 4, 0x80040009), "unknown version 9", 3000, true},
        {"file named for another key", cut(whole.size()), "hash does not match", 3000, true, "2560fe1f1365a10a_0"},
        {"another entry version", set(8, 6), "entry version 6, read as version 5", 3000, true, name.c_str(), Note},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::string bytes = whole;
        row.damage(bytes);
        const CacheEntry entry = test::ReadFile(kReadSimple, row.fileName, bytes).entries.at(0);
        EXPECT_EQ(test::SeverityOf(entry.findings, row.note), row.severity) << entry.findings.Text();
        ASSERT_EQ(entry.body.has_value(), row.body.has_value());
        if (entry.body) {
            EXPECT_EQ(entry.body->offset, keyEnd);
            EXPECT_EQ(entry.body->length, *row.body);
            EXPECT_EQ(entry.url, "http://127.0.0.1:47811/photos/n1234567_890_123.jpg");
        }
        EXPECT_EQ(entry.statusLine == "HTTP/1.1 200 OK" && entry.contentType == "image/jpeg", row.headers);
    }
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
