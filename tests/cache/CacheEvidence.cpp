// The evidence entries of cached photos through the real walk and evidence entry: a cache file
// that changes while it is read gives no digest of a mixture, and the report parser reads a
// cached photo's entry as any other.
#include <gtest/gtest.h>

#include <fstream>

#include "cache/CacheFixtures.h"
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

}  // namespace snapsift::test
