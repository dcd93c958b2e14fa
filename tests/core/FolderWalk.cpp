#include "search/FolderWalk.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "FolderWalkSupport.h"

namespace fs = std::filesystem;

namespace snapsift::test {
namespace {

fs::path FromText(const std::string& text) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

// The order the walk must meet the files in, built from std::filesystem's own listing:
// level by level, each folder's files in listing order, subfolders in listing order.
std::vector<std::string> ExpectedOrder(const std::string& rootText) {
    std::vector<std::string> order;
    std::deque<std::string> queue{AddBackslash(rootText)};
    while (!queue.empty()) {
        const std::string folder = queue.front();
        queue.pop_front();
        for (const fs::directory_entry& entry : fs::directory_iterator(FromText(folder))) {
            const std::string name = ToText(entry.path().filename());
            if (entry.is_symlink()) continue;
            if (entry.is_directory())
                queue.push_back(folder + name + Sep());
            else if (entry.is_regular_file())
                order.push_back(folder + name);
        }
    }
    return order;
}

TEST(FolderWalk, BreadthFirstAcrossLevels) {
    TempTree tree;
    tree.Entries({{"a.jpg", ""}, {"S1/T/c.jpg", ""}, {"S2/b.jpg", ""}});
    WalkRun run;
    run.walk.SearchFolderTree(tree.RootText());
    const std::string root = tree.RootText();
    EXPECT_EQ(run.host.shownPaths,
              (std::vector<std::string>{root + "a.jpg", root + "S2" + Sep() + "b.jpg",
                                        root + "S1" + Sep() + "T" + Sep() + "c.jpg"}));
    ASSERT_EQ(run.handler.candidates.size(), 3u);
    EXPECT_EQ(run.handler.candidates[1].fileName, "b.jpg");
}

TEST(FolderWalk, EveryFileInListingOrderLevelByLevel) {
    TempTree tree;
    tree.Entries({
        {"r1.txt", ""}, {"n11111_11[1].jpg", ""}, {"r3.jpg", ""},
        {"A/a1.txt", ""}, {"A/n22222_22[1].jpg", ""}, {"A/AA/aa1.jpg", ""}, {"A/AB/", ""},
        {"B/", ""},
        {"C/c1.bin", ""}, {"C/CA/1111_222_333_444_555_n[1].jpg", ""}, {"C/CA/CAA/deep.jpg", ""},
        {"D/DA/DAA/DAAA/n33333_33[1].jpg", ""},
    });
    WalkRun run;
    run.walk.SearchFolderTree(tree.RootText());
    const std::vector<std::string> expected = ExpectedOrder(tree.RootText());
    ASSERT_EQ(expected.size(), 10u);
    EXPECT_EQ(run.host.shownPaths, expected);
    EXPECT_EQ(run.host.yields, expected.size());
    // Each candidate arrives after its own path was shown and before the next one.
    ASSERT_EQ(run.handler.candidates.size(), 7u);
    for (const Candidate& c : run.handler.candidates) {
        ASSERT_GT(c.shownBefore, 0u);
        EXPECT_EQ(run.host.shownPaths[c.shownBefore - 1], c.fullPath);
    }
    std::vector<std::string> ids = run.Recognised();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"11111", "22222", "333", "33333"}));
}

TEST(FolderWalk, CandidatesCarryPathNameAndStyle) {
    TempTree tree;
    tree.Entries({{"Cache/n1_2_3[1].jpg", ""},
                  {"Cache/1111_222_333_444_555_n[1].jpg", ""},
                  {"Cache/IMG_0001.JPG", ""},
                  {"Cache/photo.jpg", ""}});
    std::string root = tree.RootText();
    root.pop_back();  // passed without its trailing separator
    WalkRun run;
    run.walk.SearchFolderTree(root);
    const std::string cache = root + Sep() + "Cache" + Sep();
    EXPECT_EQ(run.host.shownPaths.size(), 4u);
    std::vector<Candidate> seen = run.handler.candidates;
    for (Candidate& c : seen) c.shownBefore = 0;
    std::sort(seen.begin(), seen.end(),
              [](const Candidate& a, const Candidate& b) { return a.fileName < b.fileName; });
    EXPECT_EQ(seen, (std::vector<Candidate>{
                        {cache + "1111_222_333_444_555_n[1].jpg", "1111_222_333_444_555_n[1].jpg",
                         kDigitFirst, "333", 0},
                        {cache + "n1_2_3[1].jpg", "n1_2_3[1].jpg", kLetterFirst, std::nullopt, 0},
                        {cache + "photo.jpg", "photo.jpg", kLetterFirst, std::nullopt, 0},
                    }));
}

TEST(FolderWalk, RootTextKeptExactlyAsPassed) {
    TempTree tree;
    tree.Entries({{"Sub/x.jpg", ""}, {"Sub/Deeper/y.jpg", ""}});
    const std::string root = tree.RootText() + "." + Sep() + "Sub";
    for (const std::string& passed : {root, root + Sep()}) {
        SCOPED_TRACE(passed);
        WalkRun run;
        run.walk.SearchFolderTree(passed);
        EXPECT_EQ(run.host.shownPaths,
                  (std::vector<std::string>{root + Sep() + "x.jpg",
                                            root + Sep() + "Deeper" + Sep() + "y.jpg"}));
    }
}

TEST(FolderWalk, SearchFolderExaminesOnlyTheRootsOwnFiles) {
    TempTree tree;
    tree.Entries({{"n11111_11[1].jpg", ""}, {"notes.txt", ""}, {"Sub/n22222_22[1].jpg", ""}});
    WalkRun run;
    run.walk.SearchFolder(tree.RootText());
    std::vector<std::string> shown = run.host.shownPaths;
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{tree.RootText() + "n11111_11[1].jpg",
                                               tree.RootText() + "notes.txt"}));
    EXPECT_EQ(run.Recognised(), (std::vector<std::string>{"11111"}));
}

TEST(FolderWalk, AbortStopsBeforeTheNextFile) {
    TempTree tree;
    tree.Entries({{"n10001_11[1].jpg", ""}, {"n10002_11[1].jpg", ""},
                  {"S/n20001_11[1].jpg", ""}, {"S/n20002_11[1].jpg", ""},
                  {"S/T/n30001_11[1].jpg", ""}});
    const std::vector<std::string> all = ExpectedOrder(tree.RootText());
    ASSERT_EQ(all.size(), 5u);
    for (std::size_t n = 1; n <= all.size(); ++n) {
        SCOPED_TRACE(n);
        WalkRun run;
        run.host.abortAtFile = n;
        run.walk.SearchFolderTree(tree.RootText());
        // The file on display when ABORT came is still filtered and processed; no later one
        // is shown, and the folders still queued are never listed.
        EXPECT_EQ(run.host.shownPaths, std::vector<std::string>(all.begin(), all.begin() + n));
        ASSERT_EQ(run.handler.candidates.size(), n);
        EXPECT_EQ(run.handler.candidates.back().fullPath, all[n - 1]);
        EXPECT_TRUE(run.state.AbortRequested);
    }
}

TEST(FolderWalk, AbortInSingleFolderMode) {
    TempTree tree;
    tree.Entries({{"n10001_11[1].jpg", ""}, {"n10002_11[1].jpg", ""}, {"n10003_11[1].jpg", ""}});
    WalkRun run;
    run.host.abortAtFile = 2;
    run.walk.SearchFolder(tree.RootText());
    EXPECT_EQ(run.host.shownPaths.size(), 2u);
    EXPECT_EQ(run.handler.candidates.size(), 2u);
}

TEST(FolderWalk, AbortAlreadySetExaminesNothing) {
    TempTree tree;
    tree.Entries({{"S/n10001_11[1].jpg", ""}});
    WalkRun run;
    run.state.AbortRequested = true;
    run.walk.SearchFolderTree(tree.RootText());
    run.walk.SearchFolder(tree.RootText() + "S");
    EXPECT_TRUE(run.host.shownPaths.empty());
    EXPECT_EQ(run.host.yields, 0u);
    EXPECT_TRUE(run.handler.candidates.empty());
}

TEST(FolderWalk, MissingEmptyOrFileRootExaminesNothing) {
    TempTree tree;
    tree.Entries({{"n10001_11[1].jpg", ""}});
    for (const std::string& root : {std::string(), tree.Text("missing"), tree.Text("missing") + Sep(),
                                    tree.Text("n10001_11[1].jpg")}) {
        SCOPED_TRACE(root);
        WalkRun run;
        run.walk.SearchFolderTree(root);
        run.walk.SearchFolder(root);
        EXPECT_TRUE(run.host.shownPaths.empty());
        EXPECT_EQ(run.host.yields, 0u);
        EXPECT_TRUE(run.handler.candidates.empty());
    }
}

TEST(FolderWalk, FoldersWithoutFilesAreWalkedWithoutYielding) {
    TempTree tree;
    tree.Entries({{"A/B/C/", ""}, {"D/", ""}, {"E/F/", ""}});
    WalkRun run;
    run.walk.SearchFolderTree(tree.RootText());
    EXPECT_EQ(run.host.yields, 0u);
    EXPECT_TRUE(run.host.shownPaths.empty());
}

TEST(FolderWalk, NonAsciiNamesKeptAsListed) {
    TempTree tree;
    const std::string folder = "\xD0\x9F\xD0\xBE\xD0\xBB\xD1\x8C\xD0\xB7\xD0\xBE\xD0\xB2\xD0\xB0"
                               "\xD1\x82\xD0\xB5\xD0\xBB\xD1\x8C";  // "Пользователь"
    const std::string umlaut = "\xC3\xBC" "ber n12345_67[1].jpg";   // "über ..."
    tree.File(folder + "/n12345_67[1].jpg");
    tree.File(umlaut);
    WalkRun run;
    run.walk.SearchFolderTree(tree.RootText());
    EXPECT_EQ(run.host.shownPaths,
              (std::vector<std::string>{tree.RootText() + umlaut,
                                        tree.RootText() + folder + Sep() + "n12345_67[1].jpg"}));
    ASSERT_EQ(run.handler.candidates.size(), 1u);
    EXPECT_EQ(run.handler.candidates[0].fullPath, tree.RootText() + folder + Sep() + "n12345_67[1].jpg");
    EXPECT_EQ(run.handler.candidates[0].userId, "12345");
}

TEST(FolderWalk, DotNamedEntriesIncluded) {
    TempTree tree;
    tree.Entries({{".n12345_67[1].jpg", ""}, {".cache/n23456_78[1].jpg", ""}});
    WalkRun run;
    run.walk.SearchFolderTree(tree.RootText());
    EXPECT_EQ(run.host.shownPaths,
              (std::vector<std::string>{tree.RootText() + ".n12345_67[1].jpg",
                                        tree.RootText() + ".cache" + Sep() + "n23456_78[1].jpg"}));
    EXPECT_EQ(run.Recognised(), (std::vector<std::string>{"23456"}));
}

TEST(FolderWalk, QueuedFolderThatCannotBeListedIsSkipped) {
    TempTree tree;
    tree.Entries({{"a.jpg", ""}, {"Gone/x.jpg", ""}, {"Gone/Inner/y.jpg", ""}, {"Kept/z.jpg", ""}});
    WalkRun run;
    // While the root's own file is on display, a folder already queued disappears.
    run.host.onYield = [&](std::size_t shown) {
        if (shown == 1) fs::remove_all(tree.Path("Gone"));
    };
    run.walk.SearchFolderTree(tree.RootText());
    EXPECT_EQ(run.host.shownPaths, (std::vector<std::string>{tree.RootText() + "a.jpg",
                                                             tree.RootText() + "Kept" + Sep() + "z.jpg"}));
}

class ThrowingHandler : public CandidateHandler {
public:
    void ProcessCandidate(const std::string&, const std::string& fileName, std::int16_t) override {
        names.push_back(fileName);
        if (names.size() == 1) throw std::runtime_error("failure inside one file");
    }
    std::vector<std::string> names;
};

TEST(FolderWalk, FailureInsideOneCandidateDoesNotStopTheWalk) {
    TempTree tree;
    tree.Entries({{"n10001_11[1].jpg", ""}, {"S/n10002_11[1].jpg", ""}});
    ScanState state;
    RecordingHost host(state);
    ThrowingHandler handler;
    FolderWalk(state, host, handler).SearchFolderTree(tree.RootText());
    EXPECT_EQ(handler.names, (std::vector<std::string>{"n10001_11[1].jpg", "n10002_11[1].jpg"}));
}

TEST(FolderWalk, AddBackslash) {
    const std::string s = Sep();
    const std::pair<std::string, std::string> cases[] = {
        {"", s},
        {s, s},
        {"data", "data" + s},
        {"data" + s, "data" + s},
        {"a" + s + "b", "a" + s + "b" + s},
        {"a" + s + s, "a" + s + s},
        {"\xD0\x9F", "\xD0\x9F" + s},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(AddBackslash(path), expected) << path;
}

TEST(FolderWalk, PathExists) {
    TempTree tree;
    tree.Entries({{"file.txt", "x"}, {".hidden", ""}, {"Folder/", ""}, {"Empty.jpg", ""}});
    struct Case {
        std::string path;
        bool withFolders, withoutFolders;
    };
    const Case cases[] = {
        {tree.Text("file.txt"), true, true},
        {tree.Text(".hidden"), true, true},
        {tree.Text("Empty.jpg"), true, true},
        {tree.Text("Folder"), true, false},
        {tree.Text("Folder") + Sep(), true, false},
        {tree.Text("missing"), false, false},
        {tree.Text("Folder/missing"), false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(PathExists(c.path, true), c.withFolders);
        EXPECT_EQ(PathExists(c.path, false), c.withoutFolders);
    }
}

TEST(FolderWalk, PlainEntriesAreNoLinks) {
    TempTree tree;
    tree.Entries({{"file.txt", ""}, {"Folder/", ""}});
    EXPECT_FALSE(IsLinkOrJunction(tree.Text("file.txt")));
    EXPECT_FALSE(IsLinkOrJunction(tree.Text("Folder")));
    EXPECT_FALSE(IsLinkOrJunction(tree.Text("Folder") + Sep()));
    EXPECT_FALSE(IsLinkOrJunction(tree.Text("missing")));
    EXPECT_FALSE(IsLinkOrJunction(""));
}

}  // namespace
}  // namespace snapsift::test
