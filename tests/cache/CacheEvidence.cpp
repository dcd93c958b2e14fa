// The evidence entries of cached photos through the real walk and evidence entry: a cache file
// that changes while it is read gives no digest of a mixture; a scan opens only the cache files a
// photo needs; a cache file that will not open is counted and named with why.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "cache/CacheFixtures.h"
#include "cache/IndexDatWriter.h"
#include "support/EvidenceWalk.h"

namespace snapsift::test {

namespace fs = std::filesystem;

// A scan of src (a copy of a fixture cache, or files made for it), counting the opens of files
// whose names end in `ending` and calling `opened` on each file opened.
struct CacheScan {
    TempTree tree;
    EvidenceWalk run{tree.Folder("out")};
    std::size_t opens = 0;
    void Copy(std::string_view cache) {
        tree.Folder("src");
        fs::copy(FixturePath(cache), tree.Path("src"), fs::copy_options::recursive);
    }
    ParsedReport Run(const std::string& ending, std::function<void(const std::string&)> opened = nullptr) {
        run.evidence.SetAfterOpen([&, opened](const std::string& path) {
            opens += path.ends_with(ending);
            if (opened) opened(path);
        });
        return run.Run(tree.Text("src"));
    }
};

TEST(CachedPhotoEvidence, ACacheFileThatChangesWhileItIsReadGivesTheFailureTextNotADigest) {
    const struct { const char* cache; const char* changed; std::size_t failures; } rows[] = {
        {"chromium-simple", "cb9ca433c1a42445_0", 1},
        {"firefox-cache2/entries", "641E60CD6E55774738147447D067D0877B43ED86", 1},
        {"chromium-blockfile", "data_2", 4},  // a block file of four photos
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cache);
        CacheScan scan;
        scan.Copy(row.cache);
        const ParsedReport report = scan.Run(row.changed, [&](const std::string& path) {
            if (path.ends_with(row.changed)) std::ofstream(path, std::ios::app) << "more";
        });
        std::size_t failures = 0;
        for (const ParsedEntry& entry : report.entries) failures += entry.md5 == "error generating md5 hash";
        const auto& gaps = scan.run.evidence.Tally().gaps;
        EXPECT_EQ(std::tuple(report.entries.size(), failures, gaps.filesChanged, gaps.Any()),
                  std::tuple(7u, row.failures, row.failures, true));
    }
}

// index.dat files in the root and in three folders of four: one is opened only for a photo in a
// folder beside it, which gets its record. A blockfile cache's f_000001 is opened only when it
// holds a photo's body, not when its entry's URL is made another's.
TEST(CachedPhotoEvidence, ACacheFileIsOpenedOnlyForAPhoto) {
    IndexDatSource index;
    index.folders = {{"ABCD1234", 1}};
    IndexDatRecordSource& photo = index.records.emplace_back();
    photo.url = "http://a.example/p/n1234567_890_123.jpg";
    photo.fileName = "n1234567_890_123[1].jpg";
    photo.fileSize = 5;
    const std::string cachedFrom = "<b>Cached from:</b> http://a.example/p/n1234567_890_123.jpg<br>";
    const struct { const char* photo; std::size_t opens; } rows[] = {
        {nullptr, 0}, {"src/C5/ABCD1234/n1234567_890_123[1].jpg", 1}, {"src/ABCD1234/n1234567_890_123[1].jpg", 1}};
    for (const auto& row : rows) {
        CacheScan scan;
        scan.tree.File("src/index.dat", WriteIndexDat(index).bytes);
        for (int i = 0; i < 12; ++i) {
            scan.tree.Folder("src/C" + std::to_string(i) + "/ABCD1234");
            if (i % 4 != 0) scan.tree.File("src/C" + std::to_string(i) + "/index.dat", WriteIndexDat(index).bytes);
        }
        if (row.photo != nullptr) scan.tree.File(row.photo, "photo");
        scan.Run("index.dat");
        EXPECT_EQ(std::tuple(scan.opens, scan.run.Report().find(cachedFrom) != std::string::npos),
                  std::tuple(row.opens, row.photo != nullptr));
    }
    for (const std::string url : {"3333_444_5678901_666_777_n.jpg", "3333_444_5678901_666_777_n.txt"}) {
        CacheScan scan;
        scan.Copy("chromium-blockfile");
        std::string entries = FixtureFile("chromium-blockfile/data_1");
        scan.tree.File("src/data_1", entries.replace(entries.find("3333_444_5678901_666_777_n.jpg"), url.size(), url));
        const bool photo = url.ends_with(".jpg");
        EXPECT_EQ(std::tuple(scan.Run("f_000001").entries.size(), scan.opens), std::tuple(photo ? 7u : 6u, photo ? 1u : 0u));
    }
}

// A folder of the live volume whose files named in `refused` will not open, as a lock would make them.
struct RefusingFolder final : VolumeFolder {
    ListingStep Next(std::string_view& n, EntryKind& k, FileIdentity* i) override { return live->Next(n, k, i); }
    SystemError Error() const override { return live->Error(); }
    bool AccessTimeKept() const override { return true; }
    std::unique_ptr<VolumeFile> OpenFile(std::string_view name, const std::string& path, SystemError& error) const override {
        if (name != refused) return live->OpenFile(name, path, error);
        error = SystemError{EACCES};
        return nullptr;
    }
    std::unique_ptr<VolumeFolder> live;
    std::string refused;
};

// Each kind of cache file refused at its open, the walk handing over the files named in turn:
// counted once, as a gap of the cache that names the file and why it would not open.
TEST(CachedPhotoEvidence, ACacheFileThatWillNotOpenIsCountedAndNamedWithWhy) {
    const std::string denied = "it could not be opened: " + SystemErrorText(EACCES);
    const std::string index = "the cache's index could not be read: " + denied;
    const struct {
        const char* cache; std::vector<std::string> files; const char* refused; std::string said;
        std::uint64_t unreadable;  // cache parts counted unreadable
    } rows[] = {
        {"chromium-blockfile", {"index"}, "index", index, 1},
        {"chromium-blockfile", {"index", "data_1"}, "index", index, 1},
        {"chromium-sql", {"sqldb1"}, "sqldb1", "part of the cache could not be read: " + denied, 1},
        {"chromium-blockfile", {"index", "data_1", "data_2"}, "data_2", "data_2: " + denied, 0},
    };
    for (const auto& row : rows) {
        TempTree tree;
        for (const std::string& file : row.files) tree.File("src/" + file, FixtureFile(row.cache + ("/" + file)));
        SystemError error;
        RefusingFolder folder;
        folder.live = LiveVolume().OpenRoot(tree.Folder("src"), error);
        folder.refused = row.refused;
        EvidenceWalk run(tree.Folder("out"));
        for (const std::string& file : row.files)
            if (const auto kind = CacheFileOf(file)) run.evidence.ProcessCacheFile(folder, tree.Text("src/" + file), file, *kind);
        std::string gaps;
        for (const auto& named : run.evidence.Tally().gaps.named) gaps += named.name + "\n";
        SCOPED_TRACE(gaps);
        EXPECT_NE(gaps.find(row.said), std::string::npos);
        EXPECT_NE(gaps.find(row.refused), std::string::npos);
        EXPECT_EQ(run.evidence.Tally().gaps.cacheEntriesUnreadable, row.unreadable);
    }
}

}  // namespace snapsift::test
