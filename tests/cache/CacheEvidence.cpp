// The evidence entries of cached photos through the real walk and evidence entry: a cache file
// that changes while it is read gives no digest of a mixture, and the report parser reads a
// cached photo's entry as any other; a scan opens only the cache files a photo needs.
#include <gtest/gtest.h>

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
    index.records = {{IndexDatRecordKind::Url, "http://a.example/p/n1234567_890_123.jpg", "n1234567_890_123[1].jpg", 0, 5}};
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

}  // namespace snapsift::test
