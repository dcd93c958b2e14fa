#include <gtest/gtest.h>

#include "FolderWalkSupport.h"
#include "platform/FileTimes.h"

using namespace snapsift;
using namespace snapsift::test;

namespace {

// Two branches two levels deep, so that a depth-first walk shows a level-2 file before a
// level-1 one whichever branch is listed first. B is named in Cyrillic, a file in German.
const std::string kB = "\xD0\x9F\xD0\xBE\xD0\xBB\xD1\x8C", kUmlaut = "\xC3\xBC" "ber.txt";
struct BranchedTree : TempTree {
    BranchedTree() {
        Entries({{"n11111_11[1].jpg", ""}, {"A/" + kUmlaut, ""}, {"A/A2/1111_222_333_444_555_n[1].jpg", ""},
                 {kB + "/photo.jpg", ""}, {kB + "/B2/n22222_22[1].jpg", ""}});
    }
    // The breadth-first order when A is listed before B; each level's pair swapped otherwise.
    Paths Order(bool aFirst) const {
        const std::string r = RootText();
        Paths p{r + "n11111_11[1].jpg", r + "A" + kSep + kUmlaut, r + kB + kSep + "photo.jpg",
                r + "A" + kSep + "A2" + kSep + "1111_222_333_444_555_n[1].jpg",
                r + kB + kSep + "B2" + kSep + "n22222_22[1].jpg"};
        if (!aFirst) std::swap(p[1], p[2]), std::swap(p[3], p[4]);
        return p;
    }
};

TEST(FolderWalk, BreadthFirstWithEachCandidateAfterItsPath) {
    BranchedTree tree;
    std::string root = tree.RootText();
    root.pop_back();  // passed without its trailing separator
    WalkRun run;
    run.throwOn = "n11111_11[1].jpg";  // a failure in one file does not stop the walk
    run.walk.SearchFolderTree(root);
    const Paths& shown = run.host.shownPaths;
    EXPECT_EQ(shown, tree.Order(shown.size() > 1 && shown[1].find(kUmlaut) != std::string::npos));
    EXPECT_EQ(run.host.yields, 5u);
    ASSERT_EQ(run.candidates.size(), 4u);  // the .txt file is shown, never a candidate
    for (const Candidate& c : run.candidates) {
        EXPECT_EQ(run.host.shownPaths.at(c.shownBefore - 1), c.fullPath);
        EXPECT_EQ(c.nameStyle, c.userId == "333" ? kDigitFirst : kLetterFirst);
    }
    EXPECT_EQ(run.Recognised(), (Paths{"11111", "22222", "333"}));

    WalkRun single, failing;
    single.walk.SearchFolder(root);
    EXPECT_EQ(single.host.shownPaths, Paths{tree.RootText() + "n11111_11[1].jpg"});
    // A queued folder that can no longer be listed is skipped, its sibling still walked.
    failing.host.onYield = [&](std::size_t n) { if (n == 1) std::filesystem::remove_all(tree.Path("A")); };
    failing.walk.SearchFolderTree(root);
    const Paths all = tree.Order(true);
    EXPECT_EQ(failing.host.shownPaths, (Paths{all[0], all[2], all[4]}));
}

TEST(FolderWalk, AbortStopsAfterTheFileOnDisplay) {
    BranchedTree tree;
    WalkRun full;
    full.walk.SearchFolderTree(tree.RootText());
    const Paths& all = full.host.shownPaths;
    for (std::size_t n = 0; n <= all.size(); ++n) {
        SCOPED_TRACE(n);
        WalkRun run;
        run.state.AbortRequested = n == 0;  // set before the walk starts
        run.host.abortAtFile = n;
        run.walk.SearchFolderTree(tree.RootText());
        EXPECT_EQ(run.host.shownPaths, Paths(all.begin(), all.begin() + n));
        const auto processed = std::ranges::count_if(full.candidates, [n](auto& c) { return c.shownBefore <= n; });
        EXPECT_EQ(run.candidates, std::vector(full.candidates.begin(), full.candidates.begin() + processed));
    }
}

// What each path function, and a walk rooted there, makes of each kind of path.
TEST(FolderWalk, PathHelpersAndKindsOfPath) {
    const std::pair<std::string, std::string> slashes[] = {
        {"", kSep}, {kSep, kSep}, {"a" + kSep + "b", "a" + kSep + "b" + kSep}, {"a/", "a/"}};
    for (const auto& [path, expected] : slashes) EXPECT_EQ(AddBackslash(path), expected) << path;
    TempTree tree;
    tree.Entries({{"n12345_67[1].jpg", "x"}, {".hidden", ""}, {"Folder/", ""}});
    const std::tuple<std::string, bool, bool> paths[] = {  // path, exists with folders, without (a file)
        {tree.Text("n12345_67[1].jpg"), true, true}, {tree.Text(".hidden"), true, true},
        {tree.Text("Folder"), true, false},          {tree.Text("Folder") + kSep, true, false},
        {tree.Text("missing"), false, false},        {tree.Text("missing") + kSep, false, false},
        {"", false, false}};
    for (const auto& [path, withFolders, withoutFolders] : paths) {
        EXPECT_EQ(PathExists(path, true), withFolders) << path;
        EXPECT_EQ(PathExists(path, false), withoutFolders) << path;
        EXPECT_FALSE(IsLinkOrJunction(path)) << path;
        std::optional<DateTime> created;
        DateTime accessed, modified;
        EXPECT_EQ(GetFileTimes(path, created, accessed, modified), withoutFolders) << path;
        WalkRun run;  // as a root: a file, a missing path or an empty folder examines nothing
        run.walk.SearchFolderTree(path);
        run.walk.SearchFolder(path);
        EXPECT_EQ(run.host.yields + run.host.shownPaths.size() + run.candidates.size(), 0u) << path;
    }
}

}  // namespace
