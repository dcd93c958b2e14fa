// The evidence entries of cached photos through the real walk and evidence entry: a cache file
// that changes while it is read gives no digest of a mixture, and the report parser reads a
// cached photo's entry as any other; a scan opens only the cache files a photo needs; a cache file
// that will not open is counted and named with why.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "cache/CacheFixtures.h"
#include "cache/IndexDatWriter.h"
#include "support/EvidenceWalk.h"

namespace snapsift::test {

namespace fs = std::filesystem;

TEST(CachedPhotoEvidence, ACacheFileThatChangesWhileItIsReadGivesTheFailureTextNotADigest) {
    const struct { const char* row; const char* cache; const char* changed; std::size_t failures; } cases[] = {
        {"a simple entry", "chromium-simple", "cb9ca433c1a42445_0", 1},
        {"a Firefox entry", "firefox-cache2/entries", "641E60CD6E55774738147447D067D0877B43ED86", 1},
        {"a block file of four photos", "chromium-blockfile", "data_2", 4},
    };
    for (const auto& c : cases) {
        TempTree tree;
        const std::string out = tree.Folder("out");
        tree.Folder("src");
        fs::copy(FixturePath(c.cache), tree.Path("src"), fs::copy_options::recursive);
        EvidenceWalk run(out);
        run.evidence.SetAfterOpen([&](const std::string& fullPath) {
            if (fullPath.ends_with(c.changed)) std::ofstream(fullPath, std::ios::app) << "more";
        });
        const ParsedReport report = run.Run(tree.Text("src"));
        std::size_t failures = 0;
        for (const ParsedEntry& entry : report.entries) failures += entry.md5 == "error generating md5 hash";
        EXPECT_EQ(report.entries.size(), 7u) << c.row;
        EXPECT_EQ(failures, c.failures) << c.row;
        EXPECT_EQ(run.evidence.Tally().gaps.filesChanged, c.failures) << c.row;
        EXPECT_TRUE(run.evidence.Tally().gaps.Any()) << c.row;
    }
}

// The files opened in a scan by the end of their names, counted, with the report.
std::pair<std::size_t, std::string> OpensOf(const std::string& src, const std::string& out, std::string_view ending) {
    EvidenceWalk run(out);
    std::size_t opens = 0;
    run.evidence.SetAfterOpen([&](const std::string& fullPath) { opens += fullPath.ends_with(ending); });
    run.Run(src);
    return {opens, run.Report()};
}

// index.dat files in the root and in three folders of four: one is opened only for a photo in a
// folder beside it, which gets its record.
TEST(CachedPhotoEvidence, AnIndexDatIsReadOnlyForAPhotoBesideItsFolder) {
    IndexDatSource index;
    index.folders = {{"ABCD1234", 1}};
    IndexDatRecordSource photo;
    photo.url = "http://a.example/p/n1234567_890_123.jpg";
    photo.fileName = "n1234567_890_123[1].jpg";
    photo.fileSize = 5;
    index.records = {photo};
    const struct { const char* row; const char* photo; std::size_t opens; } rows[] = {
        {"no photo", nullptr, 0},
        {"a photo below one", "src/C5/ABCD1234/n1234567_890_123[1].jpg", 1},
        {"a photo below the root's", "src/ABCD1234/n1234567_890_123[1].jpg", 1}};
    for (const auto& row : rows) {
        TempTree tree;
        tree.File("src/index.dat", WriteIndexDat(index).bytes);
        for (int i = 0; i < 12; ++i) {
            tree.Folder("src/C" + std::to_string(i) + "/ABCD1234");
            if (i % 4 != 0) tree.File("src/C" + std::to_string(i) + "/index.dat", WriteIndexDat(index).bytes);
        }
        if (row.photo != nullptr) tree.File(row.photo, "photo");
        const auto [opens, report] = OpensOf(tree.Text("src"), tree.Folder("out"), "index.dat");
        EXPECT_EQ(opens, row.opens) << row.row;
        EXPECT_EQ(report.find("<b>Cached from:</b> http://a.example/p/n1234567_890_123.jpg<br>") != std::string::npos,
                  row.photo != nullptr)
            << row.row;
    }
}

// A blockfile cache whose f_000001 holds a photo's body, or (its URL made another's) no photo's:
// the file is opened only for the photo.
TEST(CachedPhotoEvidence, ABlockfileCacheOpensABodysFileOnlyForAPhoto) {
    const struct { const char* row; const char* url; std::size_t opens, entries; } rows[] = {
        {"a photo's", "3333_444_5678901_666_777_n.jpg", 1, 7}, {"no photo's", "3333_444_5678901_666_777_n.txt", 0, 6}};
    for (const auto& row : rows) {
        TempTree tree;
        tree.Folder("src");
        fs::copy(FixturePath("chromium-blockfile"), tree.Path("src"), fs::copy_options::recursive);
        std::string entries = FixtureFile("chromium-blockfile/data_1");
        const std::size_t key = entries.find("3333_444_5678901_666_777_n.jpg");
        ASSERT_NE(key, std::string::npos);
        tree.File("src/data_1", entries.replace(key, std::strlen(row.url), row.url));
        const auto [opens, report] = OpensOf(tree.Text("src"), tree.Folder("out"), "f_000001");
        EXPECT_EQ(opens, row.opens) << row.row;
        EXPECT_EQ(ParseReport(report).entries.size(), row.entries) << row.row;
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
        const char* row; const char* cache; std::vector<std::string> files; const char* refused; std::string said;
        std::uint64_t unreadable;  // cache parts counted unreadable
    } rows[] = {
        {"a blockfile index", "chromium-blockfile", {"index"}, "index", index, 1},
        {"an index, then data_1", "chromium-blockfile", {"index", "data_1"}, "index", index, 1},
        {"an SQL shard", "chromium-sql", {"sqldb1"}, "sqldb1", "part of the cache could not be read: " + denied, 1},
        {"a block file", "chromium-blockfile", {"index", "data_1", "data_2"}, "data_2", "data_2: " + denied, 0},
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
            if (const auto kind = CacheFileOf(file))
                run.evidence.ProcessCacheFile(folder, tree.Text("src/" + file), file, *kind);
        std::string gaps;
        for (const auto& named : run.evidence.Tally().gaps.named) gaps += named.name + "\n";
        EXPECT_NE(gaps.find(row.said), std::string::npos) << row.row << ": " << gaps;
        EXPECT_NE(gaps.find(row.refused), std::string::npos) << row.row << ": " << gaps;
        EXPECT_EQ(run.evidence.Tally().gaps.cacheEntriesUnreadable, row.unreadable) << row.row << ": " << gaps;
    }
}

}  // namespace snapsift::test
