#include <gtest/gtest.h>

#include <map>

#include "FolderWalkSupport.h"

using namespace snapsift;
using namespace snapsift::test;

namespace {

namespace fs = std::filesystem;

// Two branches two levels deep, so that a depth-first walk shows a level-2 file before a
// level-1 one whichever branch is listed first. B is named in Cyrillic, a file in German.
const std::string kB = "\xD0\x9F\xD0\xBE\xD0\xBB\xD1\x8C", kUmlaut = "\xC3\xBC" "ber.txt";
const std::string kFiles[] = {"n11111_11[1].jpg", "A/" + kUmlaut, kB + "/photo.jpg",
                              "A/A2/1111_222_333_444_555_n[1].jpg", kB + "/B2/n22222_22[1].jpg"};

class FolderWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& file : kFiles) tree.File(file);
        // Level by level, each level in the order the file system lists A and B.
        fs::directory_iterator entry(tree.Root());
        while (!entry->is_directory()) ++entry;
        const bool aFirst = entry->path().filename() == "A";
        for (const int i : aFirst ? std::vector{0, 1, 2, 3, 4} : std::vector{0, 2, 1, 4, 3})
            order.push_back(tree.Text(kFiles[i]));
        for (const std::string& path : order)
            if (path != tree.Text(kFiles[1])) candidates.push_back(path);
    }
    TempTree tree;
    const std::string root = tree.RootText().substr(0, tree.RootText().size() - 1);  // no trailing separator
    Paths order, candidates;  // every file, and those the name filter passes, in walk order
    WalkRun run;
};

TEST_F(FolderWalkTest, ShowsAndYieldsOnceForEachFileLevelByLevel) {
    run.walk.SearchFolderTree(root);
    EXPECT_EQ(run.host.shownPaths, order);
    EXPECT_EQ(run.host.yields, 5u);
}

TEST_F(FolderWalkTest, EachCandidateArrivesRightAfterItsPathWithTheFiltersStyle) {
    const std::map<std::string, std::pair<std::int16_t, std::string>> expected = {
        {tree.Text(kFiles[0]), {kLetterFirst, "11111"}}, {tree.Text(kFiles[2]), {kLetterFirst, ""}},
        {tree.Text(kFiles[3]), {kDigitFirst, "333"}}, {tree.Text(kFiles[4]), {kLetterFirst, "22222"}}};
    run.walk.SearchFolderTree(root);
    std::map<std::string, std::pair<std::int16_t, std::string>> arrived;
    for (const Candidate& c : run.candidates) {
        EXPECT_EQ(run.host.shownPaths.at(c.shownBefore - 1), c.fullPath);
        arrived[c.fullPath] = {c.nameStyle, c.userId};
    }
    EXPECT_EQ(arrived, expected);
}

TEST_F(FolderWalkTest, AFailureInsideOneFileDoesNotStopTheWalk) {
    run.throwOn = "n11111_11[1].jpg";
    run.walk.SearchFolderTree(root);
    EXPECT_EQ(run.CandidatePaths(), candidates);
}

TEST_F(FolderWalkTest, SearchFolderExaminesOnlyTheRootsOwnFiles) {
    run.walk.SearchFolder(root);
    EXPECT_EQ(run.host.shownPaths, Paths{tree.Text(kFiles[0])});
}

// Position 0: the flag was set before the walk started.
TEST_F(FolderWalkTest, AnAbortStopsTheWalkAfterTheFileOnDisplay) {
    for (std::size_t n = 0; n <= order.size(); ++n) {
        SCOPED_TRACE(n);
        WalkRun aborted;
        aborted.state.AbortRequested = n == 0;
        aborted.host.abortAtFile = n;
        aborted.walk.SearchFolderTree(root);
        const Paths shown(order.begin(), order.begin() + static_cast<long>(n));
        EXPECT_EQ(aborted.host.shownPaths, shown);
        Paths processed;
        for (const std::string& path : candidates)
            if (std::ranges::find(shown, path) != shown.end()) processed.push_back(path);
        EXPECT_EQ(aborted.CandidatePaths(), processed);
    }
}

TEST_F(FolderWalkTest, AFolderRemovedBeforeItIsListedIsReportedAndItsSiblingsWalked) {
    run.host.onYield = [&](std::size_t shown) {
        if (shown == 1) fs::remove_all(tree.Path("A"));
    };
    run.walk.SearchFolderTree(root);
    EXPECT_EQ(run.host.shownPaths, (Paths{tree.Text(kFiles[0]), tree.Text(kFiles[2]), tree.Text(kFiles[4])}));
    EXPECT_EQ(run.host.unreadable, (Unreadable{{tree.Text("A") + kSep, kNoSuchFolder}}));
}

TEST(Paths, AddBackslashAddsTheSeparatorUnlessOneEndsThePath) {
    const std::pair<std::string, std::string> cases[] = {
        {"", kSep}, {kSep, kSep}, {"a" + kSep + "b", "a" + kSep + "b" + kSep}, {"a/", "a/"}};
    for (const auto& [path, expected] : cases) EXPECT_EQ(AddBackslash(path), expected) << path;
}

// A file, a hidden file, an empty folder with and without the separator, missing paths, no path.
struct KindOfPath { std::string path; bool exists, isFile; };
std::vector<KindOfPath> KindsOfPath(TempTree& tree) {
    tree.Entries({{"n12345_67[1].jpg", "x"}, {".hidden", ""}, {"Folder/", ""}});
    return {{tree.Text("n12345_67[1].jpg"), true, true}, {tree.Text(".hidden"), true, true},
            {tree.Text("Folder"), true, false}, {tree.Text("Folder") + kSep, true, false},
            {tree.Text("missing"), false, false}, {tree.Text("missing") + kSep, false, false}, {"", false, false}};
}

TEST(Paths, PathExistsFindsFilesAndOnlyWhenAskedFolders) {
    TempTree tree;
    for (const auto& [path, exists, isFile] : KindsOfPath(tree)) {
        EXPECT_EQ(PathExists(path, true), exists) << path;
        EXPECT_EQ(PathExists(path, false), isFile) << path;
        EXPECT_FALSE(IsLinkOrJunction(path)) << path;
    }
}

TEST(FolderWalk, ARootThatIsNoFolderWithFilesExaminesNothing) {
    TempTree tree;
    for (const KindOfPath& kind : KindsOfPath(tree)) {
        WalkRun run;
        run.walk.SearchFolderTree(kind.path);
        run.walk.SearchFolder(kind.path);
        EXPECT_EQ(run.host.yields + run.host.shownPaths.size() + run.host.unreadable.size(), 0u) << kind.path;
    }
}

}  // namespace
