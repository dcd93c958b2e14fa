// A tree that changes while it is scanned: each change made at an exact point of the scan (after a
// folder's listing, after a file's open) through the host's yield and the evidence entry's seam.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "Fixtures.h"
#include "platform/Descriptor.h"

namespace snapsift::test {

// A walk over src with the real evidence entry writing into out/, a seam after each open.
class LiveTree : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Folder("src");
        OpenFoldersNameByName(false);
    }
    void TearDown() override { OpenFoldersNameByName(false); }
    std::vector<ReportEntry> Walk() {
        run.sink.kept.clear();
        run.walk.SearchFolderTree(tree.Text("src"));
        return run.sink.kept;
    }
    std::string Copy(const ReportEntry& entry) { return ReadBytes(FromText(run.out + entry.copyFileName.value_or("none"))); }
    void Replace(const std::string& relative, const std::string& bytes) {
        tree.File("new", bytes);
        fs::rename(tree.Path("new"), tree.Path(relative));
    }
    TempTree tree;
    EvidenceWalk run{tree.Folder("out")};
};

// src/A/B is queued while A is listed; then, while A's file is on display, A is replaced by a link
// to a tree outside, or by another real folder that holds a B of its own. Either way B is refused
// as unreadable and nothing outside the listed folders is examined; with and without openat2().
TEST_F(LiveTree, AQueuedFolderIsEnteredOnlyAsTheFolderThatWasListed) {
    tree.Entries({{"src/A/x.txt", ""}, {"src/A/B/n22222_22[1].jpg", "b"}, {"outside/B/n33333_33[1].jpg", "o"},
                  {"other/B/n44444_44[1].jpg", "o"}});
    const struct { const char* row; bool link, nameByName; long code; } cases[] = {
        {"link, openat2", true, false, ELOOP}, {"link, name by name", true, true, ENOTDIR},
        {"other folder, openat2", false, false, kReplacedDuringScan},
        {"other folder, name by name", false, true, kReplacedDuringScan}};
    for (const auto& c : cases) {
        EvidenceWalk rowRun(run.out);
        OpenFoldersNameByName(c.nameByName);
        bool changed = false;  // once: the walk yields again, between folders, with x.txt still shown
        rowRun.host.onYield = [&] {
            if (changed || rowRun.host.shownPaths.empty() || !rowRun.host.shownPaths.back().ends_with("x.txt")) return;
            changed = true;
            fs::rename(tree.Path("src/A"), tree.Path("A-was"));
            if (c.link) fs::create_symlink(tree.Path("outside"), tree.Path("src/A"));
            else fs::rename(tree.Path("other"), tree.Path("src/A"));
        };
        rowRun.walk.SearchFolderTree(tree.Text("src"));
        EXPECT_EQ(rowRun.host.shownPaths, Paths{tree.Text("src/A/x.txt")}) << c.row;
        EXPECT_EQ(rowRun.host.unreadable, (Unreadable{{tree.Text("src/A/B/"), c.code}})) << c.row;
        if (c.link) fs::remove(tree.Path("src/A"));
        else fs::rename(tree.Path("src/A"), tree.Path("other"));
        fs::rename(tree.Path("A-was"), tree.Path("src/A"));
    }
}

// Changed after the open and before the first read. Replaced whole: the entry and its copy are all
// of the file that was opened, times included. Grown or shrunk: no digest of a mixture, the copy
// holds no byte past the size at the open, and the host hears which file changed.
TEST_F(LiveTree, AFileChangedAfterItsOpenGivesOneFilesEvidenceOrNoDigest) {
    // 30,000 bytes of "o" and md5sum's word on them.
    const std::string name = "src/n55555_55[1].jpg", old(30000, 'o'), oldMd5 = "C8393236BF409FE2E837E793946986FF";
    const struct { const char* row; std::function<void()> change; std::optional<std::string> md5; std::string copy; bool changed; } cases[] = {
        {"replaced", [&] { Replace(name, "new"); }, oldMd5, old, false},
        {"grown", [&] { std::ofstream(tree.Path(name), std::ios::app) << "more"; }, std::nullopt, old, true},
        {"cut short", [&] { fs::resize_file(tree.Path(name), 10); }, std::nullopt, old.substr(0, 10), true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        Replace(name, old);
        ASSERT_TRUE(SetFileTimesUtc(tree.Path(name)));
        run.evidence.SetAfterOpen([&](const std::string&) { c.change(); });
        const std::uint64_t changedBefore = run.evidence.Tally().gaps.filesChanged;
        const auto entries = Walk();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(std::tuple(entries[0].md5, entries[0].timeModified, Copy(entries[0])),
                  std::tuple(c.md5, kModified, c.copy));
        EXPECT_EQ(run.evidence.Tally().gaps.filesChanged - changedBefore, c.changed ? 1u : 0u);
    }
}

// Below a path of more than 4,096 bytes: found, with its real times and digest.
TEST_F(LiveTree, APathLongerThanPathMaxHasItsEvidence) {
    const std::string level(200, 'd');
    Descriptor folder(::open(tree.Text("src").c_str(), O_RDONLY | O_DIRECTORY));
    std::string path = tree.Text("src");
    for (int i = 0; i < 25; ++i, path += "/" + level) {
        ASSERT_EQ(::mkdirat(folder.Get(), level.c_str(), 0755), 0);
        folder.Reset(::openat(folder.Get(), level.c_str(), O_RDONLY | O_DIRECTORY));
    }
    {
        Descriptor file(::openat(folder.Get(), "n77777_77[1].jpg", O_WRONLY | O_CREAT, 0644));
        ASSERT_TRUE(WriteAll(file.Get(), "abc"));
        const timespec times[2] = {{kAccessedAt, 0}, {kModifiedAt, 0}};
        ASSERT_EQ(::futimens(file.Get(), times), 0);
    }
    const auto entries = Walk();
    // Put the tree back within reach of the clean-up, which goes by whole paths.
    for (Descriptor up(::open(tree.Text("src").c_str(), O_RDONLY | O_DIRECTORY)); up.Valid();
         up.Reset(::openat(up.Get(), "d", O_RDONLY | O_DIRECTORY)))
        ::renameat(up.Get(), level.c_str(), up.Get(), "d");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_GT(path.size(), 4096u);
    EXPECT_EQ(std::tuple(entries[0].fullPath, entries[0].md5, entries[0].timeModified, Copy(entries[0])),
              std::tuple(path + "/n77777_77[1].jpg", "900150983CD24FB0D6963F7D28E17F72", kModified, "abc"));
}

}  // namespace snapsift::test
