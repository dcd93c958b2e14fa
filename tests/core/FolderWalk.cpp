#include <gtest/gtest.h>

#include <map>

#include "FolderWalkSupport.h"
#include "platform/DirectoryListing.h"

namespace snapsift::test {

namespace fs = std::filesystem;

// Two branches two levels deep, so that a depth-first walk shows a level-2 file before a
// level-1 one whichever branch is listed first. B is named in Cyrillic, a file in German.
const std::string kB = "\xD0\x9F\xD0\xBE\xD0\xBB\xD1\x8C", kFiles[] = {"n11111_11[1].jpg", "A/\xC3\xBC" "ber.txt",
    kB + "/photo.jpg", "A/A2/1111_222_333_444_555_n[1].jpg", kB + "/B2/n22222_22[1].jpg"};

class FolderWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& file : kFiles) tree.File(file);
        // Level by level, each level in the order the file system lists A and B.
        fs::directory_iterator entry(tree.Root());
        while (!entry->is_directory()) ++entry;
        for (const int i : entry->path().filename() == "A" ? std::vector{0, 1, 2, 3, 4} : std::vector{0, 2, 1, 4, 3})
            order.push_back(tree.Text(kFiles[i]));
        std::ranges::copy_if(order, std::back_inserter(candidates), [](auto& path) { return !path.ends_with(".txt"); });
    }
    TempTree tree;
    const std::string root = ToText(tree.Root());  // no trailing separator
    Paths order, candidates;  // every file, and those the name filter passes, in walk order
    WalkRun run;
};

TEST_F(FolderWalkTest, ShowsAndYieldsOnceForEachFileLevelByLevel) {
    run.walk.SearchFolderTree(root);
    EXPECT_EQ(run.host.shownPaths, order);
    EXPECT_EQ(run.host.yields, 5u);
}

TEST_F(FolderWalkTest, EachCandidateArrivesRightAfterItsPathWithTheFiltersStyle) {
    run.walk.SearchFolderTree(root);
    std::map<std::string, std::pair<std::int16_t, std::string>> arrived;
    for (const Candidate& c : run.candidates) {
        EXPECT_EQ(run.host.shownPaths.at(c.shownBefore - 1), c.fullPath);
        arrived[c.fullPath] = {c.nameStyle, c.userId};
    }
    EXPECT_EQ(arrived, (decltype(arrived){{tree.Text(kFiles[0]), {kLetterFirst, "11111"}},
        {tree.Text(kFiles[2]), {kLetterFirst, ""}}, {tree.Text(kFiles[3]), {kDigitFirst, "333"}},
        {tree.Text(kFiles[4]), {kLetterFirst, "22222"}}}));
}

TEST_F(FolderWalkTest, AFailureInsideOneFileDoesNotStopTheWalk) {
    run.throwOn = "n11111_11[1].jpg";
    run.walk.SearchFolderTree(root);
    EXPECT_EQ(run.candidatePaths, candidates);
}

TEST_F(FolderWalkTest, SearchFolderExaminesOnlyTheRootsOwnFiles) {
    run.walk.SearchFolder(root);
    EXPECT_EQ(run.host.shownPaths, Paths{tree.Text(kFiles[0])});
}

// At each file in turn, and (0) before the walk starts.
TEST_F(FolderWalkTest, AnAbortStopsTheWalkAfterTheFileOnDisplay) {
    for (std::size_t n = 0; n <= order.size(); ++n) {
        WalkRun aborted;
        aborted.state.AbortRequested = n == 0;
        aborted.host.abortAtFile = n;
        aborted.walk.SearchFolderTree(root);
        const Paths shown(order.begin(), order.begin() + static_cast<long>(n));
        EXPECT_EQ(aborted.host.shownPaths, shown) << n;
        Paths processed;  // the files shown that the name filter passes
        std::ranges::copy_if(shown, std::back_inserter(processed), [](auto& path) { return !path.ends_with(".txt"); });
        EXPECT_EQ(aborted.candidatePaths, processed) << n;
    }
}

TEST_F(FolderWalkTest, AFolderRemovedBeforeItIsListedIsReportedAndItsSiblingsWalked) {
    run.host.onYield = [&](std::size_t) { fs::remove_all(tree.Path("A")); };
    run.walk.SearchFolderTree(root);
    EXPECT_EQ(run.host.shownPaths, (Paths{tree.Text(kFiles[0]), tree.Text(kFiles[2]), tree.Text(kFiles[4])}));
    EXPECT_EQ(run.host.unreadable, (decltype(run.host.unreadable){{tree.Text("A") + kSep, kNoSuchFolder}}));
}

// Every step after the last gives the same ending again.
TEST(DirectoryListing, AMissingFolderFailsWithItsCodeAndAnEmptyOneEnds) {
    TempTree tree;
    tree.Folder("empty");
    const struct { const char* name; ListingStep step; long code; } cases[] = {
        {"missing", ListingStep::Failed, kNoSuchFolder}, {"empty", ListingStep::End, 0}};
    for (const auto& c : cases) {
        DirectoryListing listing(tree.Text(c.name), false);
        std::string_view name;
        EntryKind kind;
        EXPECT_EQ(listing.Next(name, kind), c.step) << c.name;
        EXPECT_EQ(listing.Next(name, kind), c.step) << c.name;
        EXPECT_EQ(listing.Error().code, c.code) << c.name;
    }
}

TEST(Paths, AddBackslashAddsTheSeparatorUnlessOneEndsThePath) {
    const std::pair<std::string, std::string> cases[] = {
        {"", kSep}, {kSep, kSep}, {"a" + kSep + "b", "a" + kSep + "b" + kSep}, {"a/", "a/"}};
    for (const auto& [path, expected] : cases) EXPECT_EQ(AddBackslash(path), expected) << path;
}

// A file, a hidden file, an empty folder with and without the separator, missing paths, no path.
class KindsOfPath : public ::testing::Test {
protected:
    void SetUp() override { tree.Entries({{"n12345_67[1].jpg", "x"}, {".hidden", ""}, {"Folder/", ""}}); }
    TempTree tree;
    const struct { std::string path; bool exists, isFile; } kinds[7] = {{tree.Text("n12345_67[1].jpg"), true, true},
        {tree.Text(".hidden"), true, true}, {tree.Text("Folder"), true, false}, {tree.Text("Folder/"), true, false},
        {tree.Text("missing"), false, false}, {tree.Text("missing/"), false, false}, {"", false, false}};
};

TEST_F(KindsOfPath, PathExistsFindsFilesAndOnlyWhenAskedFolders) {
    for (const auto& [path, exists, isFile] : kinds) {
        EXPECT_EQ(PathExists(path, true), exists) << path;
        EXPECT_EQ(PathExists(path, false), isFile) << path;
        EXPECT_FALSE(IsLinkOrJunction(path)) << path;
    }
}

TEST_F(KindsOfPath, ARootThatIsNoFolderWithFilesExaminesNothing) {
    for (const auto& kind : kinds) {
        WalkRun walked;
        walked.walk.SearchFolderTree(kind.path);
        walked.walk.SearchFolder(kind.path);
        EXPECT_EQ(walked.host.yields + walked.host.shownPaths.size() + walked.host.unreadable.size(), 0u) << kind.path;
    }
}

}  // namespace snapsift::test
