// The blockfile reader over the cache Chromium wrote, and over damaged copies of its files.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "CacheFixtures.h"
#include "cache/BlockfileCache.h"

namespace snapsift {

namespace {

using Files = std::map<std::string, std::string>;

const Files& FixtureFiles() {
    static const Files files = [] {
        Files read;
        for (const auto& file : std::filesystem::directory_iterator(test::FixturePath("chromium-blockfile")))
            read[file.path().filename().string()] = test::ReadBytes(file.path());
        return read;
    }();
    return files;
}

BlockfileFiles Over(const Files& files) {
    return [&files](std::string_view name) -> std::optional<std::span<const std::uint8_t>> {
        const auto found = files.find(std::string(name));
        if (found == files.end()) return std::nullopt;
        return test::AsBytes(found->second);
    };
}

// Every entry read without a note is the served one, whole; gives how many there are.
std::size_t ExpectWholeEntriesAsServed(const Files& files, const std::vector<CacheEntry>& entries) {
    std::size_t whole = 0;
    for (const CacheEntry& entry : entries) {
        if (!entry.note.empty()) continue;
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
    const BlockfileCacheContents cache = ReadBlockfileCacheContents(Over(FixtureFiles()));
    EXPECT_EQ(cache.note, "");
    EXPECT_EQ(cache.version, 0x00030000u);
    EXPECT_EQ(cache.tableLength, 524288u);
    EXPECT_FALSE(cache.crashed);
    ASSERT_EQ(cache.entries.size(), test::ServedRows().size());
    EXPECT_EQ(ExpectWholeEntriesAsServed(FixtureFiles(), cache.entries), cache.entries.size());
    // The 24000-byte body has a file of its own; the others lie in blocks.
    for (const CacheEntry& entry : cache.entries)
        EXPECT_EQ(entry.body->file == "f_000001", !entry.body->block) << entry.url;
}

// The fixture's entry of the index.html page: the table's bucket 360512 holds 0xa0010002.
constexpr std::size_t kPageEntry = 8192 + 2 * 256;

std::function<void(Files&)> Set(const char* file, std::size_t at, std::uint32_t value) {
    return [=](Files& f) { test::PutLittleEndian32(static_cast<std::ptrdiff_t>(at), value)(f[file]); };
}
std::function<void(Files&)> Cut(const char* file, std::size_t size) {
    return [=](Files& f) { test::CutTo(size)(f[file]); };
}

TEST(BlockfileCache, DamageIsSaidAndTheRestReadWhole) {
    // Found in the cache's note or an entry's; the entries still read without a note; those deleted.
    const struct {
        const char* name; std::function<void(Files&)> apply; const char* said; std::size_t readWhole;
        std::size_t deleted = 0;
    } rows[] = {
        {"index cut in its header", Cut("index", 200), "shorter than its header", 0},
        {"index cut in its table", Cut("index", 368 + 4 * 300000), "hash table of 524288", 5},
        {"index magic wrong", Set("index", 0, 0), "index has magic", 11},
        {"table address past data_1", Set("index", 368, 0xa001ff00), "lies past the end", 11},
        {"table address of a rankings block", Set("index", 368, 0x90000001), "not an address of 256-byte blocks", 11},
        {"table address of a free block", Set("index", 368, 0xa0010030), "holds no key", 11},
        {"entry in a bucket not of its hash",
         [](Files& f) { Set("index", 368, 0xa0010002)(f); Set("index", 368 + 4 * 360512, 0)(f); },
         "does not belong in bucket 0", 10},
        {"data_1 missing", [](Files& f) { f.erase("data_1"); }, "data_1 is missing", 0},
        {"data_1 cut in its header", Cut("data_1", 4000), "shorter than its header", 0},
        {"data_1 cut in an entry", Cut("data_1", 8192 + 16 * 256 + 50), "too few for its fields", 3},
        {"data_1 magic wrong", Set("data_1", 0, 0), "not that of a block file", 0},
        {"f_000001 missing", [](Files& f) { f.erase("f_000001"); }, "f_000001 is missing", 10},
        {"data_2 cut in a body", Cut("data_2", 8192 + 0x10 * 1024 + 300), "stream 1 is cut", 9},
        {"data_0 cut", Cut("data_0", 8192 + 36 * 5), "rankings node", 5},
        {"key length huge", Set("data_1", kPageEntry + 32, 0x7fffffff), "runs past the entry", 10},
        {"key length negative", Set("data_1", kPageEntry + 32, 0xfffffff0), "is negative", 10},
        {"long key past data_1", Set("data_1", kPageEntry + 36, 0xa001ff00), "long key", 10},
        {"body size huge", Set("data_1", kPageEntry + 44, 0x7fffffff), "do not fit", 10},
        {"body address past data_2", Set("data_1", kPageEntry + 60, 0xb102ff00), "lies past the end", 10},
        {"headers size huge", Set("data_1", kPageEntry + 40, 0x7fffffff), "stream 0", 10},
        {"response info cut in its flags", Cut("data_1", 8192 + 4 * 256 + 7), "ends before its flags", 0},
        {"response info size huge", Set("data_1", 8192 + 4 * 256, 0xffffff00), "response info is cut", 10},
        {"header text length huge", Set("data_1", 8192 + 4 * 256 + 36, 0x7fffff00), "header text of", 10},
        {"entry's chain loops to itself", Set("data_1", kPageEntry + 4, 0xa0010002), "", 11},
        {"rankings node of another entry", Set("data_1", kPageEntry + 8, 0x90000001), "belongs to entry", 10},
        {"entry state unknown", Set("data_1", kPageEntry + 20, 7), "state 7 is unknown", 10},
        {"entry evicted", Set("data_1", kPageEntry + 20, 1), "", 11, 1},
        {"entry doomed", Set("data_1", kPageEntry + 20, 2), "", 11, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Files files = FixtureFiles();
        row.apply(files);
        const BlockfileCacheContents cache = ReadBlockfileCacheContents(Over(files));
        std::string notes = cache.note;
        for (const CacheEntry& entry : cache.entries) notes += "\n" + entry.note;
        EXPECT_NE(notes.find(row.said), std::string::npos) << notes;
        EXPECT_EQ(ExpectWholeEntriesAsServed(files, cache.entries), row.readWhole) << notes;
        EXPECT_LE(cache.entries.size(), 12u);
        EXPECT_EQ(std::count_if(cache.entries.begin(), cache.entries.end(), [](auto& e) { return e.deleted; }),
                  row.deleted);
    }
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
            ExpectWholeEntriesAsServed(files, ReadBlockfileCache(Over(files)));
        }
    }
}

}  // namespace

}  // namespace snapsift
