// The walk's folder read-ahead on the live volume: whole walks with helpers against the walk alone.
#include <chrono>
#include <thread>

#include "Fixtures.h"

namespace snapsift::test {

// Longer than a tick of any clock that stamps changes: a change made before lies in an earlier tick.
constexpr auto kPastTheTick = std::chrono::milliseconds(30);

// Walks over src with `helpers` read-ahead helpers from the first folder on (0: the walk alone),
// never entering the folder `skip` (relative to the tree) when one is named, each writing its
// report into a folder of its own; the files' times are set before each walk, as
// a read under Wine moves the access time.
class ReadAhead : public ::testing::Test {
protected:
    using Run = std::tuple<std::string, Paths, Unreadable, Paths>;  // report, shown, unreadable, each entry's MD5
    Run Walk(unsigned helpers, const std::string& into, const std::function<void(const Paths&)>& onYield = {},
             const std::string& skip = {}) {
        for (const auto& entry : fs::recursive_directory_iterator(tree.Path("src")))
            if (entry.is_regular_file()) {
                EXPECT_TRUE(SetFileTimesUtc(entry.path()));
            }
        EvidenceWalk run(tree.Folder(into));
        if (!skip.empty()) run.walk.SkipFolder(LiveVolume().IdentityOfLocalFolder(tree.Text(skip)).value());
        if (onYield) run.host.onYield = [&] { onYield(run.host.shownPaths); };
        run.walk.ReadAhead(helpers, true);
        run.walk.SearchFolderTree(tree.Text("src"));
        Paths md5s;
        for (const ReportEntry& entry : run.sink.kept) md5s.push_back(entry.md5.value_or("none"));
        return {run.Report(), run.host.shownPaths, run.host.unreadable, md5s};
    }
    TempTree tree;
};

// Twelve folders with their subtrees, older than a clock tick so that listings made ahead are
// taken, and a folder the walk never enters (as the run's own output folder): the report, the
// paths shown and the folders not read are byte for byte those of a walk alone.
TEST_F(ReadAhead, GivesTheSameReportAsAWalkAloneWithAFolderSkipped) {
    for (int i = 0; i < 12; ++i) {
        const std::string folder = "src/F" + std::to_string(i) + "/";
        tree.Entries({{folder + "n11111_11[1].jpg", "photo " + std::to_string(i)},
                      {folder + "x.txt", ""},
                      {folder + "Sub/n22222_22[1].jpg", std::to_string(i)},
                      {folder + "Sub/Deeper/Last/n33333_33[1].jpg", "deep"}});
    }
    tree.File("src/F7/Skipped/Below/n44444_44[1].jpg", "not evidence");
    std::this_thread::sleep_for(kPastTheTick);
    const Run alone = Walk(0, "alone", {}, "src/F7/Skipped");
    EXPECT_EQ(std::get<3>(alone).size(), 36u);
    EXPECT_EQ(Walk(4, "ahead", {}, "src/F7/Skipped"), alone);
}

// A and B listed ahead while the walk shows src/x.txt, then changed before the walk comes to them
// (as Windows allows: neither is held open by then): A replaced by another folder is refused as the
// walk alone refuses it; in B, a file added is found and the one removed is not examined.
TEST_F(ReadAhead, AFolderChangedAfterItWasListedAheadIsWalkedAsItIsNow) {
    tree.Entries({{"src/x.txt", ""}, {"src/A/n11111_11[1].jpg", "a"}, {"src/B/n22222_22[1].jpg", "old"},
                  {"other/n33333_33[1].jpg", "o"}});
    std::this_thread::sleep_for(kPastTheTick);
    bool changed = false;  // once: the walk yields again, between folders, with x.txt still shown
    const auto [report, shown, unreadable, md5s] = Walk(4, "out", [&](const Paths& shown) {
        if (changed || shown.empty() || !shown.back().ends_with("x.txt")) return;
        changed = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // time for A and B to be listed
        fs::rename(tree.Path("src/A"), tree.Path("A-was"));
        fs::rename(tree.Path("other"), tree.Path("src/A"));
        fs::remove(tree.Path("src/B/n22222_22[1].jpg"));
        tree.File("src/B/n44444_44[1].jpg", "new");
    });
    EXPECT_EQ(unreadable, (decltype(unreadable){{tree.Text("src/A/"), kReplacedDuringScan}}));
    EXPECT_EQ(shown, (Paths{tree.Text("src/x.txt"), tree.Text("src/B/n44444_44[1].jpg")}));
    EXPECT_EQ(md5s, Paths{"22AF645D1859CB5CA6DA0C484F1F37EA"});
}

}  // namespace snapsift::test
