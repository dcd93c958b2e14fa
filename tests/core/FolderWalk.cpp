#include <gtest/gtest.h>

#include "FolderWalkSupport.h"

using namespace snapsift;
using namespace snapsift::test;

namespace {

// Two branches two levels deep, so that a depth-first walk shows a level-2 file before a
// level-1 one whichever branch is listed first. B is named in Cyrillic, a file in German.
// Listed in the breadth-first order when A is listed before B; each level's pair swapped otherwise.
const std::string kB = "\xD0\x9F\xD0\xBE\xD0\xBB\xD1\x8C", kUmlaut = "\xC3\xBC" "ber.txt";
const std::string kFiles[] = {"n11111_11[1].jpg", "A/" + kUmlaut, kB + "/photo.jpg",
                              "A/A2/1111_222_333_444_555_n[1].jpg", kB + "/B2/n22222_22[1].jpg"};

TEST(FolderWalk, BreadthFirstEachCandidateAfterItsPathAndAbort) {
    TempTree tree;
    Paths order;
    for (const std::string& file : kFiles) tree.File(file), order.push_back(tree.Text(file));
    const std::string root = tree.RootText().substr(0, tree.RootText().size() - 1);  // no trailing separator
    WalkRun run, single, failing;
    run.throwOn = "n11111_11[1].jpg";  // a failure in one file does not stop the walk
    run.walk.SearchFolderTree(root);
    const Paths& shown = run.host.shownPaths;
    if (shown.size() > 1 && shown[1] != order[1]) std::swap(order[1], order[2]), std::swap(order[3], order[4]);
    EXPECT_EQ(shown, order);
    EXPECT_EQ(run.host.yields, 5u);
    ASSERT_EQ(run.candidates.size(), 4u);  // the .txt file is shown, never a candidate
    for (const Candidate& c : run.candidates) {
        EXPECT_EQ(shown.at(c.shownBefore - 1), c.fullPath);
        EXPECT_EQ(c.nameStyle, c.userId == "333" ? kDigitFirst : kLetterFirst);
    }
    EXPECT_EQ(run.ids, (Ids{"11111", "22222", "333"}));
    single.walk.SearchFolder(root);
    EXPECT_EQ(single.host.shownPaths, Paths{shown[0]});
    for (std::size_t n = 0; n <= shown.size(); ++n) {  // an abort stops the walk after the file on display
        WalkRun aborted;
        aborted.state.AbortRequested = n == 0;  // set before the walk starts
        aborted.host.abortAtFile = n;
        aborted.walk.SearchFolderTree(root);
        EXPECT_EQ(aborted.host.shownPaths, Paths(shown.begin(), shown.begin() + n)) << n;
        const auto processed = std::ranges::count_if(run.candidates, [n](auto& c) { return c.shownBefore <= n; });
        EXPECT_EQ(aborted.candidates, std::vector(run.candidates.begin(), run.candidates.begin() + processed)) << n;
    }
    // A queued folder that can no longer be listed is skipped, its sibling still walked.
    failing.host.onYield = [&](std::size_t n) { if (n == 1) std::filesystem::remove_all(tree.Path("A")); };
    failing.walk.SearchFolderTree(root);
    EXPECT_EQ(failing.host.shownPaths, (Paths{tree.Text(kFiles[0]), tree.Text(kFiles[2]), tree.Text(kFiles[4])}));
}

// What each path function, and a walk rooted there, makes of each kind of path; file time conversions.
TEST(FolderWalk, PathHelpersKindsOfPathAndFileTimes) {
    const std::pair<std::string, std::string> slashes[] = {
        {"", kSep}, {kSep, kSep}, {"a" + kSep + "b", "a" + kSep + "b" + kSep}, {"a/", "a/"}};
    for (const auto& [path, expected] : slashes) EXPECT_EQ(AddBackslash(path), expected) << path;
    TempTree tree;
    tree.Entries({{"n12345_67[1].jpg", "x"}, {".hidden", ""}, {"Folder/", ""}});
    const std::tuple<std::string, bool, bool> paths[] = {  // path, exists with folders, without (a file)
        {tree.Text("n12345_67[1].jpg"), true, true}, {tree.Text(".hidden"), true, true},
        {tree.Text("Folder"), true, false}, {tree.Text("Folder") + kSep, true, false},
        {tree.Text("missing"), false, false}, {tree.Text("missing") + kSep, false, false}, {"", false, false}};
    for (const auto& [path, withFolders, withoutFolders] : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Times().Read(path), withoutFolders);
        EXPECT_EQ(std::tuple(PathExists(path, true), PathExists(path, false), IsLinkOrJunction(path)),
                  std::tuple(withFolders, withoutFolders, false));
        WalkRun run;  // as a root: a file, a missing path or an empty folder examines nothing
        run.walk.SearchFolderTree(path);
        run.walk.SearchFolder(path);
        EXPECT_EQ(run.host.yields + run.host.shownPaths.size() + run.candidates.size(), 0u);
    }
    const std::pair<std::uint64_t, std::optional<DateTime>> dates[] = {
        {0, DateTime{1601, 1, 1, 0, 0, 0}}, {10'000'000, DateTime{1601, 1, 1, 0, 0, 1}},
        {129071485897500000, DateTime{2010, 1, 5, 7, 3, 9}},  // 07:03:09.750
        {125962992000000000, DateTime{2000, 2, 29, 12, 0, 0}}, {94405824000000000, DateTime{1900, 3, 1, 0, 0, 0}},
        {2650467743999999999, DateTime{9999, 12, 31, 23, 59, 59}}, {2650467744000000000, std::nullopt}};
    for (const auto& [fileTime, date] : dates) EXPECT_EQ(FileTimeToDate(fileTime), date) << fileTime;
    // The 8 bytes of a "system.ntfs_crtime" attribute.
    const auto crtime = FileTimeFromLittleEndian(std::string("\x60\x65\x8D\x23\xD5\x8D\xCA\x01", 8));
    EXPECT_EQ(FileTimeToDate(crtime.value_or(0)), (DateTime{2010, 1, 5, 7, 3, 9}));
    EXPECT_EQ(FileTimeFromLittleEndian(std::string(7, '\x01')), std::nullopt);
}

}  // namespace
