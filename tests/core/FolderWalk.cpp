#include <set>
#include <thread>

#include "Fixtures.h"
#include "platform/DirectoryListing.h"
#include "support/ScriptedVolume.h"

namespace snapsift::test {

// The root R (object 1) holds folder A (2); A holds itself as "self", R as "up" and B (3); B holds
// A as "back". Each folder holds one photo. Each way back is reported once as a loop and never
// opened, by the walk or by a helper; each photo is examined once. A root whose identity is
// unknown is walked once more through "up", whose own way down to A then ends the loop. A folder
// skipped is neither walked nor listed ahead, nor told.
TEST(FolderLoop, AFolderMetAgainIsReportedAsALoopAndNeverEntered) {
    const Paths once = {"R/n11111_11[1].jpg", "R/A/n22222_22[1].jpg", "R/A/B/n33333_33[1].jpg"};
    const struct { const char* row; bool rootKnown; unsigned helpers; std::uint64_t skip; Paths candidates, loops, entered; } cases[] = {
        {"root known, walk alone", true, 0, 0, once, {"R/A/self/", "R/A/up/", "R/A/B/back/"}, {"R/A/", "R/A/B/"}},
        {"root known, read ahead", true, 2, 0, once, {"R/A/self/", "R/A/up/", "R/A/B/back/"}, {"R/A/", "R/A/B/"}},
        {"B skipped, read ahead", true, 2, 3, {once[0], once[1]}, {"R/A/self/", "R/A/up/"}, {"R/A/"}},
        {"root unknown, read ahead", false, 2, 0,
         {"R/n11111_11[1].jpg", "R/A/n22222_22[1].jpg", "R/A/up/n11111_11[1].jpg", "R/A/B/n33333_33[1].jpg"},
         {"R/A/self/", "R/A/up/A/", "R/A/B/back/"}, {"R/A/", "R/A/B/", "R/A/up/"}}};
    for (const auto& c : cases) {
        ScriptedVolume volume;
        volume.rootIdentityKnown = c.rootKnown;
        volume.folders = {{1, {{"n11111_11[1].jpg", 0}, {"A", 2}}},
                          {2, {{"n22222_22[1].jpg", 0}, {"self", 2}, {"up", 1}, {"B", 3}}},
                          {3, {{"n33333_33[1].jpg", 0}, {"back", 2}}}};
        WalkRun run;
        FolderWalk walk(run.state.abortRequested, run.host, run, volume);
        walk.ReadAhead(c.helpers, true);
        if (c.skip != 0) walk.SkipFolder({7, c.skip});
        walk.SearchFolderTree("R");
        Unreadable loops;
        for (const std::string& loop : c.loops) loops.emplace_back(loop, kFolderLoop);
        EXPECT_EQ(std::tuple(run.candidates, run.host.unreadable), std::tuple(c.candidates, loops)) << c.row;
        EXPECT_EQ(volume.opened, std::set<std::string>(c.entered.begin(), c.entered.end())) << c.row;
    }
}

// Two branches two levels deep, so that a breadth-first walk shows a level-1 file before a
// level-2 one whichever branch is listed first. B is named in Cyrillic, a file in German.
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
    }
    // The files shown that the name filter passes: all but the German text file.
    static Paths Candidates(Paths shown) {
        std::erase_if(shown, [](const std::string& path) { return path.ends_with(".txt"); });
        return shown;
    }
    TempTree tree;
    const std::string root = ToText(tree.Root());  // no trailing separator
    Paths order;  // every file in walk order
    WalkRun run;
};

// A candidate whose processing fails is handed to the host and counted, once, and every other
// candidate still arrives, right after its path is shown, with the filter's style.
TEST_F(FolderWalkTest, ACandidateWhoseProcessingFailsIsCountedAndTheWalkGoesOn) {
    const std::map<std::string, std::string> arrivals = {{tree.Text(kFiles[0]), "n11111_11[1].jpg letter-first"},
        {tree.Text(kFiles[2]), "photo.jpg letter-first"},
        {tree.Text(kFiles[3]), "1111_222_333_444_555_n[1].jpg digit-first"},
        {tree.Text(kFiles[4]), "n22222_22[1].jpg letter-first"}};
    const struct { const char* row; bool tree; std::string throwOn; Paths lost; } cases[] = {
        {"none fails", true, "", {}},
        {"the root's file", true, "n11111_11[1].jpg", {tree.Text(kFiles[0])}},
        {"a file two levels down", true, "n22222_22[1].jpg", {tree.Text(kFiles[4])}},
        {"the root's file, no subfolders", false, "n11111_11[1].jpg", {tree.Text(kFiles[0])}}};
    for (const auto& c : cases) {
        WalkRun failing;
        failing.throwOn = c.throwOn;
        c.tree ? failing.walk.SearchFolderTree(root) : failing.walk.SearchFolder(root);
        EXPECT_EQ(failing.candidates, c.tree ? Candidates(order) : Paths{tree.Text(kFiles[0])}) << c.row;
        if (c.tree) { EXPECT_EQ(failing.arrivals, arrivals) << c.row; }
        EXPECT_EQ(std::pair(failing.host.lost, failing.walk.CandidatesLost()), std::pair(c.lost, c.lost.size())) << c.row;
    }
}

// A whole run in which one recognised file's evidence cannot be taken (the host fails when the
// entry asks for the photos setting): the run completes with the other file's entry, and the
// file lost is counted among the report's gaps, so the run is incomplete.
TEST(CandidateLost, ARunWithAFileNotExaminedCompletesAndIsIncomplete) {
    struct FailingHost : RecordingHost {
        using RecordingHost::RecordingHost;
        bool IncludePhotos() const override {
            if (!shownPaths.empty() && shownPaths.back().ends_with("n22222_22[1].jpg")) throw std::runtime_error("no setting");
            return includePhotos;
        }
    };
    TempTree tree;
    tree.Entries({{"src/n11111_11[1].jpg", "kept"}, {"src/n22222_22[1].jpg", "lost"}, {"out/", ""}});
    ScanState state{WithTrailingSeparator(tree.Text("src")), WithTrailingSeparator(tree.Text("out"))};
    FailingHost host{state};
    const ScanResult result = RunScan(state, host);
    // The report names it with what failed.
    ASSERT_FALSE(result.gaps.named.empty());
    EXPECT_EQ(ParseReport(ReadBytes(FromText(result.reportPath))).entries.size(), 1u);
    EXPECT_EQ(std::tuple(result.outcome, result.gaps.candidatesLost, result.gaps.Any(), host.lost, result.gaps.named.back().name),
              std::tuple(ScanOutcome::Completed, 1u, true, Paths{tree.Text("src/n22222_22[1].jpg")},
                         tree.Text("src/n22222_22[1].jpg") + ": no setting"));
}

// Each file shown level by level with a yield, up to an abort: at each file in turn, and (0)
// before the walk starts. The file on display when the abort comes is not examined; the walk
// yields between folders too, so there are at least as many yields as files shown.
TEST_F(FolderWalkTest, ShowsAndYieldsForEachFileLevelByLevelUntilAnAbort) {
    for (std::size_t n = 0; n <= order.size(); ++n) {
        WalkRun aborted;
        aborted.state.abortRequested = n == 0;
        aborted.host.abortAtFile = n;
        aborted.walk.SearchFolderTree(root);
        const Paths shown(order.begin(), order.begin() + static_cast<long>(n));
        const Paths examined(order.begin(), order.begin() + static_cast<long>(n == 0 ? 0 : n - 1));
        EXPECT_EQ(aborted.host.shownPaths, shown) << n;
        EXPECT_EQ(aborted.candidates, Candidates(examined)) << n;
        EXPECT_GE(aborted.host.yields, n) << n;
    }
}

TEST_F(FolderWalkTest, AFolderRemovedBeforeItIsListedIsReportedAndItsSiblingsWalked) {
    // Windows removes no folder while it is open, as a read-ahead helper may hold A or A2 for a moment.
    run.host.onYield = [&] {
        std::error_code held;
        for (int i = 0; fs::remove_all(tree.Path("A"), held) == static_cast<std::uintmax_t>(-1) && i < 1000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    run.walk.SearchFolderTree(root);
    EXPECT_EQ(run.host.shownPaths, (Paths{tree.Text(kFiles[0]), tree.Text(kFiles[2]), tree.Text(kFiles[4])}));
    EXPECT_EQ(run.host.unreadable, (decltype(run.host.unreadable){{tree.Text("A") + kSep, kNoSuchFolder}}));
}

// A missing folder fails with its code and an empty one ends; every step after the last gives the
// same ending again.
TEST(DirectoryListing, AMissingFolderFailsWithItsCodeAndAnEmptyOneEnds) {
    TempTree tree;
    tree.Folder("empty");
    const std::tuple<const char*, ListingStep, long> cases[] = {{"missing", ListingStep::Failed, kNoSuchFolder}, {"empty", ListingStep::End, 0}};
    for (const auto& [name, step, code] : cases) {
        DirectoryListing listing;
        std::string_view entry;
        EntryKind kind;
        const bool opened = listing.OpenRoot(tree.Text(name) + kSep);
        const ListingStep first = listing.Next(entry, kind), again = listing.Next(entry, kind);
        EXPECT_EQ(std::tuple(opened, first, again, listing.Error().code), std::tuple(step == ListingStep::End, step, step, code)) << name;
    }
}

// A file, a folder with and without the separator, a missing path, no path; walked as a root,
// only a folder is examined.
TEST_F(FolderWalkTest, PathExistsFindsFilesAndOnlyWhenAskedFoldersAndOnlyFoldersAreWalked) {
    const struct { std::string path; bool exists, isFile; } kinds[] = {{tree.Text(kFiles[0]), true, true},
        {tree.Text("A"), true, false}, {tree.Text("A/"), true, false}, {tree.Text("missing"), false, false},
        {"", false, false}};
    for (const auto& [path, exists, isFile] : kinds) {
        EXPECT_EQ(std::tuple(PathExists(path, true), PathExists(path, false), IsLinkOrJunction(path)),
                  std::tuple(exists, isFile, false)) << path;
        if (exists && !isFile) continue;
        run.walk.SearchFolderTree(path);
        run.walk.SearchFolder(path);
    }
    EXPECT_EQ(run.host.yields + run.host.unreadable.size(), 0u);
}

}  // namespace snapsift::test
