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
using Files = MemoryCacheSource;

const std::string kPhotos = "http://photos.quorvia.example/p/", kSeparate = kPhotos + "n2000002_102_202.jpg";

CacheContents ReadWritten(const test::WrittenLegacyCache& written, Files& files, const std::function<void(Files&)>& change = {}) {
    files.files.insert(written.files.begin(), written.files.end());
    if (change) change(files);
    return ReadFirefoxLegacyCache(files);
}

}  // namespace

TEST(FirefoxLegacyCache, EveryEntryIsReadWithItsBodyTimesAndResponseInEitherLayout) {
    for (const std::uint32_t minor : {19u, 11u}) {
        const test::LegacyCacheSource source = test::SampleLegacyCache(minor);
        Files files;  // the 1.11 map marked as one the browser did not close cleanly
        const CacheContents contents = ReadWritten(test::WriteFirefoxLegacyCache(source), files, [&](Files& r) {
            if (minor == 11) test::PutBigEndian32(12, 1)(r.files["_CACHE_MAP_"]);
        });
        ASSERT_EQ(contents.entries.size(), source.entries.size()) << minor << contents.findings.Text();
        EXPECT_EQ(std::tuple(contents.version, contents.crashed, contents.findings.Text()),
                  std::tuple("1." + std::to_string(minor), minor == 11, ""));
        for (std::size_t i = 0; i < source.entries.size(); ++i) {
            const test::LegacyEntrySource& from = source.entries[i];
            const std::string url = from.key.substr(from.key.rfind("http://"));
            const auto entry = std::ranges::find(contents.entries, url, &CacheEntry::url);
            ASSERT_NE(entry, contents.entries.end()) << minor << " " << url;
            const bool walked = !from.inMap;
            EXPECT_EQ(std::tuple(entry->format, entry->key, entry->deleted, entry->reached, entry->statusLine, entry->fetchCount,
                                 entry->lastUsed, entry->lastModified, entry->expires.has_value(), entry->contentEncoding),
                      std::tuple(CacheFormat::FirefoxLegacy, from.key, from.evicted || walked,
                                 walked ? EntryReached::ByWalkInFreeBlocks : EntryReached::ByIndex, "HTTP/1.1 200 OK",
                                 std::optional<std::uint32_t>(3), std::optional(DateTime{2011, 3, 13, 7, 6, 40}),
                                 std::optional(DateTime{2011, 3, 13, 4, 20, 0}), true, i == 1 ? "gzip" : ""))
                << minor << " " << url;
            // A body no record places is not guessed at; the others are the bytes as stored.
            const auto file = entry->body ? files.files.find(entry->body->file) : files.files.end();
            EXPECT_EQ(file == files.files.end() ? "(none)" : file->second.substr(entry->body->offset, entry->body->length),
                      walked ? "(none)" : from.body) << minor << " " << url;
            // Only how an entry the map no longer keeps was found is noted.
            EXPECT_EQ(std::pair(entry->findings.Empty(), entry->findings.Damaged()), std::pair(!from.evicted && !walked, false))
                << url << entry->findings.Text();
        }
        EXPECT_EQ(std::ranges::find(contents.entries, kSeparate, &CacheEntry::url)->body->file,
                  minor == 19 ? "3/4A/2B3C7d01" : "34A2B3C7d01");
    }
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
    const test::WrittenLegacyCache written[] = {test::WriteFirefoxLegacyCache(test::SampleLegacyCache(11)),
                                                test::WriteFirefoxLegacyCache(test::SampleLegacyCache(19))};
    const auto put = [](std::string name, std::size_t at, std::uint32_t value) {
        return [=](Files& r) { test::PutBigEndian32(static_cast<std::ptrdiff_t>(at), value)(r.files[name]); };
    };
    const auto erase = [](std::string name) { return [=](Files& r) { r.files.erase(name); }; };
    // The sample photo's metadata field, 36 bytes before its key; its map record and the evicted
    // one's, each the first of bucket (hash & 31).
    const std::string& blocks = written[1].files.at("_CACHE_001_");
    const auto meta = [&](std::size_t field) { return blocks.find("HTTP:" + kLegacyPhoto + '\0') - 36 + field; };
    const auto record = [&](std::size_t entry) { return 276 + (written[1].hashes[entry] & 31) * 16 * 16; };
    const struct {
        const char* row;
        std::function<void(Files&)> change;
        std::string url;  // of the entry that says so; empty: the cache as a whole
        std::string said;
        std::optional<Severity> severity;
        std::size_t entries;
        std::uint32_t minor = 19;
    } cases[] = {
        {"the bitmap marks every block free", [](Files& r) { std::fill_n(r.files["_CACHE_001_"].begin(), 16384, '\0'); },
         kLegacyPhoto, "the allocation bitmap marks its metadata's blocks free", Severity::Note, 7},
        {"a data location past its file", put("_CACHE_MAP_", record(0) + 8, 0xA0FFFFFFu), kLegacyPhoto,
         "its data's block 16777215 lies past the end of _CACHE_002_", Severity::Damaged, 7},
        {"a metadata location past its file", put("_CACHE_MAP_", record(0) + 12, 0x90FFFFFFu), "",
         "its metadata's block 16777215 lies past the end of _CACHE_001_", Severity::Damaged, 8},
        {"an evicted record's data block holding metadata since", put("_CACHE_MAP_", record(5) + 8, 0xB0000001u),
         kPhotos + "n2000005_105_205.jpg", "found in _CACHE_003_, block 1", Severity::Note, 7},
        {"an evicted record leading to metadata a record in use reaches",
         [&](Files& r) { r.files["_CACHE_MAP_"].replace(record(5) + 12, 4, r.files["_CACHE_MAP_"], record(0) + 12, 4); },
         kPhotos + "n2000004_104_204.jpg", "no map record in use reaches it: found in _CACHE_001_", Severity::Note, 7},
        {"a key size past the blocks", put("_CACHE_001_", meta(28), 5000), kLegacyPhoto, "its key's size 5000 runs past its metadata",
         Severity::Damaged, 7},
        {"a data size past the blocks", put("_CACHE_001_", meta(24), 5000), kLegacyPhoto,
         "its data's 5000 bytes are more than its 1 block(s) hold", Severity::Damaged, 7},
        {"a separate data file missing", erase("3/4A/2B3C7d01"), kSeparate, "its data's file 3/4A/2B3C7d01 is missing",
         Severity::Damaged, 7},
        {"a separate metadata file missing", erase("3/4A/2B3C7m01"), "", "its metadata's file 3/4A/2B3C7m01 is missing",
         Severity::Damaged, 7},
        {"the map absent", erase("_CACHE_MAP_"), "",
         "_CACHE_MAP_ is missing: every entry was found by walking the block files, as deleted", Severity::Damaged, 6},
        {"the map absent, 1.11", erase("_CACHE_MAP_"), kLegacyPhoto, "no map record in use reaches it: found in _CACHE_001_, block 0",
         Severity::Note, 6, 11},
        {"a map cut in its records", [](Files& r) { r.files["_CACHE_MAP_"].resize(276 + 16 * 100); }, "",
         "the map's 512 records do not fit its 100 records' room", Severity::Damaged, 6},
        {"a block file that will not open", [](Files& r) { r.unreadable["_CACHE_003_"] = "it could not be opened: EIO"; }, "",
         "_CACHE_003_: it could not be opened: EIO", Severity::Damaged, 6},
        {"bytes of no cache", [](Files& r) { r.files = {{"_CACHE_001_", std::string(9000, '\x01')}}; }, "", "", std::nullopt, 0},
    };
    for (const auto& c : cases) {
        Files files;
        const CacheContents contents = ReadWritten(written[c.minor == 19], files, c.change);
        EXPECT_EQ(contents.entries.size(), c.entries) << c.row;
        Findings said = contents.findings;
        for (const CacheEntry& entry : contents.entries)
            if (c.url.empty() || entry.url == c.url) said.Add(entry.findings);
        EXPECT_EQ(test::SeverityOf(said, c.said), c.severity) << c.row << ": " << said.Text();
        // No other entry is touched.
        EXPECT_LE(std::ranges::count_if(contents.entries, [](const CacheEntry& e) { return e.findings.Damaged(); }), 1) << c.row;
    }
}

}  // namespace snapsift
