// Cache entries carved from a run of clusters: the fixture caches' entry files laid at cluster
// boundaries among other bytes come back whole, as served; hostile bytes give no entry.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cache/Carving.h"
#include "cache/SimpleCache.h"
#include "cache/CacheFixtures.h"
#include "evidence/EvidenceRecorder.h"
#include "report/EntrySink.h"
#include "search/Recognition.h"

using namespace snapsift;

namespace {

constexpr std::size_t kCluster = 4096;
const std::string kSimplePrefix = "1/0/_dk_http://127.0.0.1 http://127.0.0.1 ";
const std::string kCache2Prefix = "O^partitionKey=%28http%2C127.0.0.1%29,:";

std::vector<std::string> EntryFiles(const std::string& folder, bool (*isEntry)(const std::string&)) {
    std::vector<std::string> files;
    for (const auto& item : std::filesystem::directory_iterator(test::FixturePath(folder)))
        if (item.is_regular_file() && isEntry(item.path().filename().string())) files.push_back(item.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

const std::vector<std::string>& SimpleFiles() {
    static const auto files =
        EntryFiles("chromium-simple", [](const std::string& name) { return name.ends_with("_0"); });
    return files;
}
const std::vector<std::string>& Cache2Files() {
    static const auto files = EntryFiles("firefox-cache2/entries", [](const std::string&) { return true; });
    return files;
}

std::string Bytes(const std::string& path) { return test::ReadBytes(path); }

// Clusters of bytes that are no entry: a counter's bytes, never a magic.
std::string Filler(std::size_t clusters, unsigned seed) {
    std::string bytes(clusters * kCluster, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
    return bytes;
}

// `file` put at the run's next cluster boundary; its last cluster's slack holds what was there.
std::size_t Lay(std::string& run, const std::string& file) {
    const std::size_t at = run.size();
    run += file;
    run += Filler(1, static_cast<unsigned>(at)).substr(0, (kCluster - file.size() % kCluster) % kCluster);
    return at;
}

void PutLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}
void PutBe32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * (3 - i)));
}

CarvedContents Carve(const std::string& run, std::uint64_t startsBefore = UINT64_MAX, const CacheWanted& wanted = {}) {
    return CarveCacheEntries(test::AsBytes(run), kCluster, startsBefore, wanted);
}

TEST(Carving, EveryFixtureEntryComesBackAsServedFromWhereItWasLaid) {
    std::string run = Filler(3, 1);
    std::vector<std::size_t> laid;
    std::vector<std::string> prefixes;
    for (const auto* files : {&SimpleFiles(), &Cache2Files()})
        for (const std::string& file : *files) {
            laid.push_back(Lay(run, Bytes(file)));
            prefixes.push_back(files == &SimpleFiles() ? kSimplePrefix : kCache2Prefix);
            run += Filler(1 + laid.size() % 2, static_cast<unsigned>(laid.size()));
        }
    ASSERT_GT(SimpleFiles().size(), 5u);
    ASSERT_GT(Cache2Files().size(), 5u);
    const CarvedContents carved = Carve(run);
    EXPECT_TRUE(carved.contents.findings.Empty()) << carved.contents.findings.Text();
    ASSERT_EQ(carved.contents.entries.size(), laid.size());
    ASSERT_EQ(carved.places.size(), laid.size());
    for (std::size_t i = 0; i < laid.size(); ++i) {
        const CacheEntry& entry = carved.contents.entries[i];
        EXPECT_EQ(carved.places[i].offset, laid[i]);
        EXPECT_FALSE(entry.deleted);
        test::ExpectAsServed(entry, run, prefixes[i]);
        ASSERT_TRUE(entry.bodyBytes);
        EXPECT_EQ(*entry.bodyBytes, run.substr(entry.body->offset, entry.body->length));
    }
}

// One simple entry file and one cache2 entry file, each at its cluster boundary, changed by a
// row; the entries carved from what is left.
TEST(Carving, HostileBytesGiveNoEntry) {
    // The largest of each: files of more than one cluster.
    const auto largest = [](const std::vector<std::string>& files) {
        std::string bytes;
        for (const std::string& file : files)
            if (std::string read = Bytes(file); read.size() > bytes.size()) bytes = std::move(read);
        return bytes;
    };
    const std::string simple = largest(SimpleFiles()), cache2 = largest(Cache2Files());
    ASSERT_GT(std::min(simple.size(), cache2.size()), kCluster);
    const std::uint32_t simpleKey = static_cast<std::uint32_t>(simple[12] & 0xff) | (simple[13] & 0xff) << 8;
    const std::size_t s = kCluster, c = kCluster * (3 + (simple.size() + kCluster - 1) / kCluster);
    const std::size_t offsetWord = cache2.size() - 4;
    const std::uint32_t bodySize = static_cast<std::uint32_t>((cache2[offsetWord] & 0xff) << 24 |
                                                              (cache2[offsetWord + 1] & 0xff) << 16 |
                                                              (cache2[offsetWord + 2] & 0xff) << 8 |
                                                              (cache2[offsetWord + 3] & 0xff));  // where each is laid
    struct Row {
        const char* what;
        std::function<void(std::string& run)> change;
        std::size_t simpleEntries, cache2Entries;
        std::uint64_t startsBefore = UINT64_MAX;
        CacheWanted wanted = {};
    };
    const std::vector<Row> rows = {
        {"nothing changed", [](std::string&) {}, 1, 1},
        {"each file a byte past its cluster boundary",
         [&](std::string& run) {
             run.insert(c, 1, 'x');
             run.insert(s, 1, 'x');
         },
         0, 0},
        {"each file split by another file's cluster after its first",
         [&](std::string& run) {
             run.insert(c + kCluster, Filler(1, 5));
             run.insert(s + kCluster, Filler(1, 6));
         },
         0, 0},
        {"the simple entry of an unknown version", [&](std::string& run) { PutLe32(run, s + 8, 4143972100u); }, 0, 1},
        {"the simple key's length absurd", [&](std::string& run) { PutLe32(run, s + 12, 0xfffffff0u); }, 0, 1},
        {"the simple key's length one longer", [&](std::string& run) { PutLe32(run, s + 12, simpleKey + 1); }, 0, 1},
        {"a body byte of each changed (CRC, chunk hash)",
         [&](std::string& run) {
             run[s + 24 + simpleKey + 10] ^= 1;
             run[c + 10] ^= 1;
         },
         0, 0},
        {"the simple stream 0 size past the key",
         [&](std::string& run) { PutLe32(run, s + simple.size() - 8, 0x7fffffff); }, 0, 1},
        {"the simple last end record gone", [&](std::string& run) { run[s + simple.size() - 24] ^= 1; }, 0, 1},
        {"the cache2 metadata offset one less",
         [&](std::string& run) { PutBe32(run, c + offsetWord, bodySize - 1); }, 1, 0},
        {"the cache2 offset pointing past the file's start",
         [&](std::string& run) { PutBe32(run, c + offsetWord, static_cast<std::uint32_t>(c + 10)); }, 1, 0},
        {"a cache2 metadata byte changed (its hash)",
         [&](std::string& run) { run[c + cache2.size() - 20] ^= 1; }, 1, 0},
        {"the run cut inside each file's last cluster", [&](std::string& run) { run.resize(c + cache2.size() - 1); },
         1, 0},
        {"the simple magic at every other cluster start",
         [&](std::string& run) {
             for (std::size_t at = 0; at < run.size(); at += kCluster)
                 if ((at < s || at >= s + simple.size()) && (at < c || at >= c + cache2.size()))
                     run.replace(at, 24, simple.substr(0, 24));
         },
         1, 1},
        {"every word a cache2 offset to a cluster boundary",
         [&](std::string& run) {
             for (std::size_t at = c + cache2.size() + 4; at + 4 <= run.size(); at += 4)
                 PutBe32(run, at, static_cast<std::uint32_t>(at % kCluster));
         },
         1, 1},
        {"both starting past the bound", [](std::string&) {}, 0, 0, s},
        {"the cache2 file alone before the bound", [](std::string&) {}, 1, 0, c},
        {"no key wanted", [](std::string&) {}, 0, 0, UINT64_MAX, [](const CacheEntry&) { return false; }},
        {"the simple keys alone wanted", [](std::string&) {}, 1, 0, UINT64_MAX,
         [](const CacheEntry& entry) { return entry.key.starts_with(kSimplePrefix); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string run = Filler(1, 7);
        ASSERT_EQ(Lay(run, simple), s);
        run += Filler(2, 8);
        ASSERT_EQ(Lay(run, cache2), c);
        run += Filler(4, 9);
        row.change(run);
        const CarvedContents carved = Carve(run, row.startsBefore, row.wanted);
        std::size_t simpleEntries = 0, cache2Entries = 0;
        for (const CacheEntry& entry : carved.contents.entries)
            ++(entry.format == CacheFormat::ChromiumSimple ? simpleEntries : cache2Entries);
        EXPECT_EQ(simpleEntries, row.simpleEntries);
        EXPECT_EQ(cache2Entries, row.cache2Entries);
        for (const CacheEntry& entry : carved.contents.entries) EXPECT_TRUE(entry.findings.Empty());
    }
}

// The evidence of a run handed over in windows, each window's carving taking entries from its
// first half and the next window beginning past the last of them: each photo is recorded once,
// at its offset, whatever the window.
class QuietHost : public SearchHost {
public:
    bool IncludePhotos() const override { return false; }
    void ShowPath(const std::string&) override {}
    void Yield() override {}
    void ShowMessage(std::string_view, MessageKind) override {}
    void FolderUnreadable(const std::string&, const SystemError&) override {}
};

class HeldEntries : public EntrySink {
public:
    std::vector<ReportEntry> entries;
    EntryWritten Append(const ReportEntry& entry) override {
        entries.push_back(entry);
        return EntryWritten::Whole;
    }
};

TEST(Carving, EachPhotoOfARunIsRecordedOnceWhateverTheWindow) {
    std::string run = Filler(2, 3);
    std::vector<std::string> expected;  // the full paths of the photos laid
    for (const std::string& file : SimpleFiles()) {
        const std::size_t at = Lay(run, Bytes(file));
        MemoryCacheSource source;
        source.files["carved"] = Bytes(file);
        const std::string url = ReadSimpleCache(source, "carved").entries.at(0).url;
        if (PhotoOfCachedUrl(url))
            expected.push_back("disk.img, unallocated space, byte offset " + std::to_string(at + 40960) + " (clusters " +
                               std::to_string(at / kCluster + 10) + "-" +
                               std::to_string((at + Bytes(file).size() - 1) / kCluster + 10) + ")");
        run += Filler(1, static_cast<unsigned>(at));
    }
    ASSERT_GE(expected.size(), 5u);
    for (const std::size_t windowClusters : {12u, 13u, 14u, 15u, 17u, 21u, 1000u}) {
        SCOPED_TRACE(windowClusters);
        UnallocatedArea area;
        area.name = "disk.img";
        // The run from cluster 10 on, in windows of windowClusters.
        area.walk = [&](std::size_t, const UnallocatedReader& read, const std::function<bool()>&) {
            for (std::size_t at = 0; at < run.size();) {
                const std::size_t size = std::min(windowClusters * kCluster, run.size() - at);
                const bool ends = at + size == run.size();
                const std::size_t done = read({kCluster, 10 + at / kCluster, 40960 + at,
                                               test::AsBytes(std::string_view(run).substr(at, size)), ends});
                at = ends ? run.size() : at + std::max(kCluster, done / kCluster * kCluster);
            }
            return UnallocatedWalk{};
        };
        QuietHost host;
        HeldEntries held;
        EvidenceRecorder evidence("", host, held, '\\');
        evidence.CarveUnallocated(area);
        std::vector<std::string> paths;
        for (const ReportEntry& entry : held.entries) {
            paths.push_back(entry.fullPath);
            EXPECT_TRUE(entry.md5);
            EXPECT_NE(entry.status.find("recovered from unallocated space"), std::string::npos);
        }
        EXPECT_EQ(paths, expected);
        EXPECT_FALSE(evidence.Tally().gaps.Any());
    }
}

}  // namespace
