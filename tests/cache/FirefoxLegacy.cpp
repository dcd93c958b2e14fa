// Firefox's cache before cache2, written by the tests' writer in both layouts (separate files in
// subfolders from map version 1.19, beside the map before), read back: entries through the map,
// evicted ones, ones found only in the block files' blocks, and damaged copies.
#include <gtest/gtest.h>

#include <algorithm>

#include "CacheFixtures.h"
#include "FirefoxLegacyWriter.h"
#include "cache/FirefoxLegacyCache.h"

namespace snapsift {

namespace {

using test::kLegacyPhoto;
using test::LegacyCacheSource;
using test::LegacyEntrySource;
using Files = MemoryCacheSource;

const DateTime kFetchedDate{2011, 3, 13, 7, 6, 40}, kModifiedDate{2011, 3, 13, 4, 20, 0};

// The written files, changed as a row says, and what the reader made of them.
struct Read {
    MemoryCacheSource files;
    CacheContents contents;
};

Read ReadWritten(const test::WrittenLegacyCache& written, const std::function<void(MemoryCacheSource&)>& change = {}) {
    Read read;
    read.files.files.insert(written.files.begin(), written.files.end());
    if (change) change(read.files);
    read.contents = ReadFirefoxLegacyCache(read.files);
    return read;
}

// The stored bytes at an entry's body place.
std::string BodyBytes(const Read& read, const CacheEntry& entry) {
    if (!entry.body) return "(none)";
    const auto file = read.files.files.find(entry.body->file);
    if (file == read.files.files.end()) return "(no file)";
    return file->second.substr(std::min<std::size_t>(entry.body->offset, file->second.size()), entry.body->length);
}

const CacheEntry* Find(const CacheContents& contents, std::string_view url) {
    for (const CacheEntry& entry : contents.entries)
        if (entry.url == url) return &entry;
    return nullptr;
}

// Where an entry's metadata begins in a file: 36 bytes before its key.
std::size_t MetaAt(const std::string& file, const std::string& key) { return file.find(key + '\0') - 36; }

}  // namespace

TEST(FirefoxLegacyCache, EveryEntryIsReadWithItsBodyTimesAndResponseInEitherLayout) {
    for (const std::uint32_t minor : {19u, 11u}) {
        const LegacyCacheSource source = test::SampleLegacyCache(minor);
        const Read read = ReadWritten(test::WriteFirefoxLegacyCache(source));
        ASSERT_EQ(read.contents.entries.size(), source.entries.size()) << minor << read.contents.findings.Text();
        EXPECT_EQ(std::tuple(read.contents.version, read.contents.crashed, read.contents.findings.Text()),
                  std::tuple("1." + std::to_string(minor), false, ""));
        for (std::size_t i = 0; i < source.entries.size(); ++i) {
            const LegacyEntrySource& from = source.entries[i];
            const std::string url = from.key.substr(from.key.rfind("http://"));
            const CacheEntry* entry = Find(read.contents, url);
            ASSERT_NE(entry, nullptr) << minor << " " << url;
            const bool walked = !from.inMap;
            EXPECT_EQ(std::tuple(entry->format, entry->key, entry->deleted, entry->reached, entry->statusLine,
                                 entry->fetchCount, entry->lastUsed, entry->lastModified, entry->expires.has_value()),
                      std::tuple(CacheFormat::FirefoxLegacy, from.key, from.evicted || walked,
                                 walked ? EntryReached::ByWalkInFreeBlocks : EntryReached::ByIndex, "HTTP/1.1 200 OK",
                                 std::optional<std::uint32_t>(3), std::optional(kFetchedDate),
                                 std::optional(kModifiedDate), true))
                << minor << " " << url;
            EXPECT_EQ(entry->contentEncoding, i == 1 ? "gzip" : "") << url;
            // A body no record places is not guessed at; the others are the bytes as stored.
            EXPECT_EQ(BodyBytes(read, *entry), walked ? "(none)" : from.body) << minor << " " << url;
            // Only how an entry the map no longer keeps was found is noted.
            EXPECT_EQ(entry->findings.Empty(), !from.evicted && !walked) << url << entry->findings.Text();
            EXPECT_EQ(entry->findings.Damaged(), false) << url << entry->findings.Text();
        }
        const CacheEntry* separate = Find(read.contents, "http://photos.quorvia.example/p/n2000002_102_202.jpg");
        EXPECT_EQ(separate->body->file, minor == 19 ? "3/4A/2B3C7d01" : "34A2B3C7d01");
        EXPECT_EQ(Find(read.contents, kLegacyPhoto)->body->block, 0u);
    }
}

// A set of block files with no map, their bitmaps all zero, as a browser of the 1.11 layout left
// them: every entry whose metadata is valid, as deleted.
TEST(FirefoxLegacyCache, BlockFilesWithoutAMapGiveEveryValidEntryAsDeleted) {
    LegacyCacheSource source;
    source.minor = 11;
    source.withMap = false;
    for (int i = 0; i < 25; ++i)
        source.entries.push_back({"HTTP:http://photos.quorvia.example/p/" + std::to_string(i) + "_1_2_n.jpg", test::kLegacyJpegHead,
                                  test::LegacyJpeg(100 + 20 * i), 1, test::kLegacyFetched, 0, 0, 1, i % 2 ? 2u : 3u, true,
                                  false, false});
    source.entries[7].responseHead.clear();
    const Read read = ReadWritten(test::WriteFirefoxLegacyCache(source));
    ASSERT_EQ(read.contents.entries.size(), 25u);
    EXPECT_EQ(test::SeverityOf(read.contents.findings, "_CACHE_MAP_ is missing"), Severity::Damaged);
    for (std::size_t i = 0; i < 25; ++i) {
        const CacheEntry& entry = read.contents.entries[i];
        EXPECT_EQ(std::tuple(entry.key, entry.deleted, entry.reached, entry.body.has_value()),
                  std::tuple(source.entries[i].key, true, EntryReached::ByWalkInFreeBlocks, false));
        EXPECT_TRUE(entry.findings.Text().find("no map record in use reaches it") != std::string::npos);
    }
    // Bytes of no cache: no entry and nothing to say.
    MemoryCacheSource noise;
    noise.files["_CACHE_001_"] = std::string(9000, '\x01');
    const CacheContents none = ReadFirefoxLegacyCache(noise);
    EXPECT_EQ(std::tuple(none.entries.size(), none.version, none.findings.Empty()), std::tuple(0u, "", true));
}

TEST(FirefoxLegacyCache, TheUrlIsTheKeyAfterItsPrefixes) {
    const std::pair<std::string, std::optional<std::string>> keys[] = {
        {"HTTP:http://a.example/p/n1_2_3.jpg?x=1", "http://a.example/p/n1_2_3.jpg?x=1"},
        {"HTTP:id=4b3c7d01&uri=http://a.example/", "http://a.example/"},
        {"HTTP-memory-only:anon&uri=http://a.example/", "http://a.example/"},
        {"HTTP:anon&id=1f&uri=http://a.example/", "http://a.example/"},
        {"HTTP:id=1f", "id=1f"},
        {"no prefix", std::nullopt},
    };
    for (const auto& [key, url] : keys) EXPECT_EQ(FirefoxLegacyKeyUrl(key), url) << key;
}

// One fault per row, in a copy of the sample: the entry it touches says so, and the others read as before.
TEST(FirefoxLegacyCache, DamageCostsOnlyWhatItTouchesAndIsSaid) {
    const LegacyCacheSource source = test::SampleLegacyCache(19);
    const auto written = test::WriteFirefoxLegacyCache(source);
    const std::string photoKey = "HTTP:" + kLegacyPhoto;
    const auto putAtMeta = [&](std::size_t field, std::uint32_t value) {
        return [=](MemoryCacheSource& files) {
            std::string& file = files.files["_CACHE_001_"];
            test::PutBigEndian32(static_cast<std::ptrdiff_t>(MetaAt(file, photoKey) + field), value)(file);
        };
    };
    // The sample photo's map record and the evicted one: each the first of bucket (hash & 31).
    const std::size_t record = 276 + (written.hashes[0] & 31) * 16 * 16, evicted = 276 + (written.hashes[5] & 31) * 16 * 16;
    const struct {
        const char* row;
        std::function<void(Files&)> change;
        std::string url;  // of the entry that says so; empty: the cache as a whole
        std::string said;
        Severity severity;
        std::size_t entries;
    } cases[] = {
        {"the bitmap marks every block free", [](Files& r) { std::fill_n(r.files["_CACHE_001_"].begin(), 16384, '\0'); },
         kLegacyPhoto, "the allocation bitmap marks its metadata's blocks free", Severity::Note, 7},
        {"a data location past its file", [&](Files& r) { test::PutBigEndian32(record + 8, 0xA0FFFFFFu)(r.files["_CACHE_MAP_"]); },
         kLegacyPhoto, "its data's block 16777215 lies past the end of _CACHE_002_", Severity::Damaged, 7},
        {"a metadata location past its file", [&](Files& r) { test::PutBigEndian32(record + 12, 0x90FFFFFFu)(r.files["_CACHE_MAP_"]); },
         "", "its metadata's block 16777215 lies past the end of _CACHE_001_", Severity::Damaged, 8},
        {"an evicted record's data block holding metadata since",
         [&](Files& r) { test::PutBigEndian32(evicted + 8, 0xB0000001u)(r.files["_CACHE_MAP_"]); },
         "http://photos.quorvia.example/p/n2000005_105_205.jpg", "found in _CACHE_003_, block 1", Severity::Note, 7},
        {"a key size past the blocks", putAtMeta(28, 5000), kLegacyPhoto, "its key's size 5000 runs past its metadata", Severity::Damaged, 7},
        {"a data size past the blocks", putAtMeta(24, 5000), kLegacyPhoto, "its data's 5000 bytes are more than its 1 block(s) hold",
         Severity::Damaged, 7},
        {"a separate data file missing", [](Files& r) { r.files.erase("3/4A/2B3C7d01"); },
         "http://photos.quorvia.example/p/n2000002_102_202.jpg", "its data's file 3/4A/2B3C7d01 is missing", Severity::Damaged, 7},
        {"a separate metadata file missing", [](Files& r) { r.files.erase("3/4A/2B3C7m01"); }, "",
         "its metadata's file 3/4A/2B3C7m01 is missing", Severity::Damaged, 7},
        {"the map absent", [](Files& r) { r.files.erase("_CACHE_MAP_"); }, "",
         "_CACHE_MAP_ is missing: every entry was found by walking the block files, as deleted", Severity::Damaged, 6},
        {"a map cut in its records", [](Files& r) { r.files["_CACHE_MAP_"].resize(276 + 16 * 100); }, "",
         "the map's 512 records do not fit its 100 records' room", Severity::Damaged, 6},
        {"a block file that will not open", [](Files& r) { r.unreadable["_CACHE_003_"] = "it could not be opened: EIO"; }, "",
         "_CACHE_003_: it could not be opened: EIO", Severity::Damaged, 6},
    };
    for (const auto& c : cases) {
        const Read read = ReadWritten(written, c.change);
        EXPECT_EQ(read.contents.entries.size(), c.entries) << c.row;
        Findings said = read.contents.findings;
        for (const CacheEntry& entry : read.contents.entries)
            if (c.url.empty() || entry.url == c.url) said.Add(entry.findings);
        EXPECT_EQ(test::SeverityOf(said, c.said), c.severity) << c.row << ": " << said.Text();
        // No other entry is touched.
        EXPECT_LE(std::ranges::count_if(read.contents.entries, [](const CacheEntry& e) { return e.findings.Damaged(); }), 1)
            << c.row;
    }
    // A map the browser did not close cleanly.
    LegacyCacheSource dirty = source;
    dirty.dirty = true;
    EXPECT_TRUE(ReadWritten(test::WriteFirefoxLegacyCache(dirty)).contents.crashed);
}

}  // namespace snapsift
