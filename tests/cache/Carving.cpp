// Cache entries carved from a run of clusters: the fixture caches' entry files laid at cluster
// boundaries among other bytes come back whole, as served, and each photo is recorded once
// whatever the windows the run is handed over in; hostile bytes give no entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "cache/Carving.h"
#include "cache/CacheFixtures.h"
#include "evidence/EvidenceRecorder.h"
#include "report/EntrySink.h"
#include "search/Recognition.h"

using namespace snapsift;

namespace {

constexpr std::size_t kCluster = 4096;
const std::string kSimplePrefix = "1/0/_dk_http://127.0.0.1 http://127.0.0.1 ";
const std::string kCache2Prefix = "O^partitionKey=%28http%2C127.0.0.1%29,:";

// The bytes of a fixture cache's entry files, the largest first.
std::vector<std::string> EntryFiles(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> files;
    for (const auto& item : std::filesystem::directory_iterator(test::FixturePath(folder)))
        if (item.is_regular_file() && item.path().string().ends_with(suffix)) files.push_back(test::ReadBytes(item.path()));
    std::ranges::sort(files, [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return files;
}

// Clusters of bytes that are no entry: a counter's bytes, never a magic.
std::string Filler(std::size_t clusters, std::size_t seed) {
    std::string bytes(clusters * kCluster, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
    return bytes;
}

// `file` put at the run's next cluster boundary, where it is; its last cluster's slack holds what
// was there, and `gap` clusters follow.
std::size_t Lay(std::string& run, const std::string& file, std::size_t gap) {
    const std::size_t at = run.size();
    run += file + Filler(1, at).substr(0, (kCluster - file.size() % kCluster) % kCluster) + Filler(gap, at + 1);
    return at;
}

// A host that wants no copies and shows nothing, and the entries it is handed.
struct HeldEntries : SearchHost, EntrySink {
    std::vector<ReportEntry> entries;
    EntryWritten Append(const ReportEntry& entry) override { return entries.push_back(entry), EntryWritten::Whole; }
    bool IncludePhotos() const override { return false; }
    void ShowPath(const std::string&) override {}
    void Yield() override {}
    void ShowMessage(std::string_view, MessageKind) override {}
    void FolderUnreadable(const std::string&, const SystemError&) override {}
};

TEST(Carving, EveryFixtureEntryComesBackAsServedAndEachPhotoOnceWhateverTheWindow) {
    std::string run = Filler(3, 1);
    std::vector<std::tuple<std::size_t, std::size_t, std::string>> laid;  // offset, size, key prefix
    for (const auto& [folder, suffix, prefix] : {std::tuple("chromium-simple", "_0", kSimplePrefix),
                                                 std::tuple("firefox-cache2/entries", "", kCache2Prefix)})
        for (const std::string& file : EntryFiles(folder, suffix))
            laid.emplace_back(Lay(run, file, 1 + laid.size() % 2), file.size(), prefix);
    ASSERT_GT(laid.size(), 20u);
    const CarvedContents carved = CarveCacheEntries(test::AsBytes(run), kCluster, UINT64_MAX);
    EXPECT_TRUE(carved.contents.findings.Empty()) << carved.contents.findings.Text();
    ASSERT_EQ(std::pair(carved.contents.entries.size(), carved.places.size()), std::pair(laid.size(), laid.size()));
    std::vector<std::string> photos;  // their full paths, the run lying from cluster 10 of disk.img on
    for (std::size_t i = 0; i < laid.size(); ++i) {
        const auto& [at, size, prefix] = laid[i];
        const CacheEntry& entry = carved.contents.entries[i];
        EXPECT_EQ(carved.places[i].offset, at);
        EXPECT_FALSE(entry.deleted);
        test::ExpectAsServed(entry, run, prefix);
        ASSERT_TRUE(entry.bodyBytes);
        EXPECT_EQ(*entry.bodyBytes, run.substr(entry.body->offset, entry.body->length));
        if (PhotoOfCachedUrl(entry.url))
            photos.push_back("disk.img, unallocated space, byte offset " + std::to_string(at + 40960) + " (clusters " +
                             std::to_string(at / kCluster + 10) + "-" + std::to_string((at + size - 1) / kCluster + 10) + ")");
    }
    ASSERT_GE(photos.size(), 10u);
    for (const std::size_t windowClusters : {12u, 13u, 14u, 15u, 17u, 21u, 1000u}) {
        SCOPED_TRACE(windowClusters);
        const auto walk = [&](std::size_t, const UnallocatedReader& read, const std::function<bool()>&) {
            for (std::size_t at = 0; at < run.size();) {
                const std::size_t size = std::min(windowClusters * kCluster, run.size() - at);
                const bool ends = at + size == run.size();
                const std::size_t done = read({kCluster, 10 + at / kCluster, 40960 + at,
                                               test::AsBytes(std::string_view(run).substr(at, size)), ends});
                at = ends ? run.size() : at + std::max(kCluster, done / kCluster * kCluster);
            }
            return UnallocatedWalk{};
        };
        HeldEntries held;
        EvidenceRecorder evidence("", held, held, '\\');
        evidence.CarveUnallocated({.name = "disk.img", .clusterSize = kCluster, .bytes = run.size(), .walk = walk, .damaged = {}});
        std::vector<std::string> paths;
        for (const ReportEntry& entry : held.entries)  // each with its MD5, and saying where it came from
            paths.push_back(entry.fullPath +
                            (entry.md5 && entry.status.find("recovered from unallocated space") != std::string::npos ? "" : " ?"));
        EXPECT_EQ(paths, photos);
        EXPECT_FALSE(evidence.Tally().gaps.Any());
    }
}

// The largest simple entry file and cache2 entry file (more than a cluster each), each at its
// cluster boundary, changed by a row; the entries carved from what is left.
TEST(Carving, HostileBytesGiveNoEntry) {
    const std::string simple = EntryFiles("chromium-simple", "_0")[0], cache2 = EntryFiles("firefox-cache2/entries", "")[0];
    ASSERT_GT(std::min(simple.size(), cache2.size()), kCluster);
    const std::uint32_t simpleKey = static_cast<std::uint8_t>(simple[12]) | static_cast<std::uint8_t>(simple[13]) << 8;
    std::uint32_t bodySize = 0;  // the cache2 file's last word, big-endian
    for (std::size_t at = cache2.size() - 4; at < cache2.size(); ++at) bodySize = bodySize << 8 | static_cast<std::uint8_t>(cache2[at]);
    // Where each is laid, and the cache2 offset's word.
    const std::size_t s = kCluster, c = kCluster * (3 + (simple.size() + kCluster - 1) / kCluster), offsetWord = c + cache2.size() - 4;
    const auto wantOnly = [](const std::string& prefix) { return [=](const CacheEntry& entry) { return entry.key.starts_with(prefix); }; };
    const struct {
        const char* what;
        test::Damage change;
        std::size_t simpleEntries, cache2Entries;
        std::uint64_t startsBefore = UINT64_MAX;
        CacheWanted wanted = {};
    } rows[] = {
        {"nothing changed", [](std::string&) {}, 1, 1},
        {"each file a byte past its cluster boundary", [&](std::string& run) { run.insert(c, 1, 'x'), run.insert(s, 1, 'x'); }, 0, 0},
        {"each file split by another file's cluster after its first",
         [&](std::string& run) { run.insert(c + kCluster, Filler(1, 5)), run.insert(s + kCluster, Filler(1, 6)); }, 0, 0},
        {"the simple entry of an unknown version", test::PutLittleEndian32(s + 8, 4143972100u), 0, 1},
        {"the simple key's length absurd", test::PutLittleEndian32(s + 12, 0xfffffff0u), 0, 1},
        {"the simple key's length one longer", test::PutLittleEndian32(s + 12, simpleKey + 1), 0, 1},
        {"a body byte of each changed (CRC, chunk hash)",
         [&](std::string& run) { test::FlipBit(s + 24 + simpleKey + 10)(run), test::FlipBit(c + 10)(run); }, 0, 0},
        {"the simple stream 0 size past the key", test::PutLittleEndian32(s + simple.size() - 8, 0x7fffffff), 0, 1},
        {"the simple last end record gone", test::FlipBit(s + simple.size() - 24), 0, 1},
        {"the cache2 metadata offset one less", test::PutBigEndian32(offsetWord, bodySize - 1), 1, 0},
        {"the cache2 offset pointing past the file's start", test::PutBigEndian32(offsetWord, c + 10), 1, 0},
        {"a cache2 metadata byte changed (its hash)", test::FlipBit(c + cache2.size() - 20), 1, 0},
        {"the run cut inside each file's last cluster", test::CutTo(c + cache2.size() - 1), 1, 0},
        {"the simple magic at every other cluster start", [&](std::string& run) {
             for (std::size_t at = 0; at < run.size(); at += kCluster)
                 if ((at < s || at >= s + simple.size()) && (at < c || at >= c + cache2.size())) run.replace(at, 24, simple, 0, 24);
         }, 1, 1},
        {"every word a cache2 offset to a cluster boundary", [&](std::string& run) {
             for (std::size_t at = offsetWord + 8; at + 4 <= run.size(); at += 4) test::PutBigEndian32(at, at % kCluster)(run);
         }, 1, 1},
        {"both starting past the bound", [](std::string&) {}, 0, 0, s},
        {"the cache2 file alone before the bound", [](std::string&) {}, 1, 0, c},
        {"no key wanted", [](std::string&) {}, 0, 0, UINT64_MAX, wantOnly("no such key")},
        {"the simple keys alone wanted", [](std::string&) {}, 1, 0, UINT64_MAX, wantOnly(kSimplePrefix)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::string run = Filler(1, 7);
        ASSERT_EQ(Lay(run, simple, 2), s);
        ASSERT_EQ(Lay(run, cache2, 4), c);
        row.change(run);
        const CarvedContents carved = CarveCacheEntries(test::AsBytes(run), kCluster, row.startsBefore, row.wanted);
        std::size_t counts[2] = {};
        for (const CacheEntry& entry : carved.contents.entries) {
            ++counts[entry.format == CacheFormat::ChromiumSimple ? 0 : 1];
            EXPECT_TRUE(entry.findings.Empty());
        }
        EXPECT_EQ(std::pair(counts[0], counts[1]), std::pair(row.simpleEntries, row.cache2Entries));
    }
}

}  // namespace
