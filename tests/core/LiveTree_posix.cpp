// A tree that changes while it is scanned: each change made at an exact point of the scan (after a
// folder's listing, after a file's open) through the host's yield and the evidence entry's seam,
// and a bounded churn of replacements while a whole scan runs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "Fixtures.h"
#include "hash/MD5.h"
#include "platform/Descriptor.h"
#include "platform/LocaleText.h"
#include "text/Utf8.h"
#include "search/EvidenceEntry.h"
#include "report/Report.h"

namespace snapsift::test {

namespace {

// One report entry: the path, the MD5 line's value, the modified time and the copy's name.
struct Entry { std::string path, md5, modified, copy; };

std::vector<Entry> Entries(const std::string& report) {
    static const std::regex kEntry(
        "<b>Full path:</b> ([^\r\n]*)<br>\r\n<b>Short name:</b> [^\r\n]*<br>\r\n<b>Created time:</b> [^\r\n]*\r\n"
        "<b>Modified time:</b> ([^\r\n]*)\r\n<b>Last Accessed time:</b> [^\r\n]*\r\n<b>MD5:</b> ([^<]*)<br>----<br>\r\n"
        "[^\r\n]*\r\n(?:<img src=\"([^\"]*)\"><br><br>\r\n)?");
    std::vector<Entry> entries;
    for (std::sregex_iterator m(report.begin(), report.end(), kEntry), end; m != end; ++m)
        entries.push_back({(*m)[1], (*m)[3], (*m)[2], (*m)[4]});
    return entries;
}

std::string Md5Of(const std::string& bytes) { return LowerAscii(MD5().DigestStrToHexStr(bytes)); }

}  // namespace

// A walk over src with the real evidence entry writing into out/, a seam after each open.
class LiveTree : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Entries({{"src/", ""}, {"out/", ""}, {"outside/secret.jpg", "secret"}});
        ASSERT_TRUE(WriteReportHeader(out + std::string(kReportFileName)));
        OpenFoldersNameByName(false);
    }
    void TearDown() override { OpenFoldersNameByName(false); }
    std::vector<Entry> Walk() {
        walk.SearchFolderTree(tree.Text("src"));
        return Entries(ReadBytes(FromText(out + std::string(kReportFileName))));
    }
    std::string Copy(const Entry& entry) { return ReadBytes(FromText(out + entry.copy)); }
    void Replace(const std::string& relative, const std::string& bytes) {
        tree.File("new", bytes);
        fs::rename(tree.Path("new"), tree.Path(relative));
    }
    TempTree tree;
    const std::string out = tree.Text("out") + kSep;
    ScanState state;
    RecordingHost host{state};
    EvidenceEntry evidence{out, host};
    FolderWalk walk{state.AbortRequested, host, evidence};
};

// Replaced by a link to a file outside the tree between the listing and the open: no entry ever
// holds the outside file's bytes, and no copy is made.
TEST_F(LiveTree, AFileReplacedByALinkIsNotFollowed) {
    tree.File("src/n11111_11[1].jpg", "inside");
    host.onYield = [&] {
        fs::remove(tree.Path("src/n11111_11[1].jpg"));
        fs::create_symlink(tree.Path("outside/secret.jpg"), tree.Path("src/n11111_11[1].jpg"));
    };
    const auto entries = Walk();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(std::tuple(entries[0].md5, entries[0].modified), std::tuple("error generating md5 hash", "Unable to determine<br>"));
    EXPECT_EQ(std::distance(fs::directory_iterator(tree.Path("out")), {}), 1);  // the report alone
}

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
        ScanState runState;
        RecordingHost runHost{runState};
        EvidenceEntry runEvidence{out, runHost};
        FolderWalk runWalk{runState.AbortRequested, runHost, runEvidence};
        OpenFoldersNameByName(c.nameByName);
        runHost.onYield = [&] {
            if (!runHost.shownPaths.back().ends_with("x.txt")) return;
            fs::rename(tree.Path("src/A"), tree.Path("A-was"));
            if (c.link) fs::create_symlink(tree.Path("outside"), tree.Path("src/A"));
            else fs::rename(tree.Path("other"), tree.Path("src/A"));
        };
        runWalk.SearchFolderTree(tree.Text("src"));
        EXPECT_EQ(runHost.shownPaths, Paths{tree.Text("src/A/x.txt")}) << c.row;
        EXPECT_EQ(runHost.unreadable, (decltype(runHost.unreadable){{tree.Text("src/A/B/"), c.code}})) << c.row;
        if (c.link) fs::remove(tree.Path("src/A"));
        else fs::rename(tree.Path("src/A"), tree.Path("other"));
        fs::rename(tree.Path("A-was"), tree.Path("src/A"));
    }
}

// Changed after the open and before the first read. Replaced whole: the entry and its copy are all
// of the file that was opened, times included. Grown or shrunk: no digest of a mixture, the copy
// holds no byte past the size at the open, and the host hears which file changed.
TEST_F(LiveTree, AFileChangedAfterItsOpenGivesOneFilesEvidenceOrNoDigest) {
    const std::string name = "src/n55555_55[1].jpg", old(30000, 'o');
    const struct { const char* row; std::function<void()> change; std::string md5, copy; bool changed; } cases[] = {
        {"replaced", [&] { Replace(name, "new"); }, Md5Of(old), old, false},
        {"grown", [&] { std::ofstream(tree.Path(name), std::ios::app) << "more"; }, "error generating md5 hash", old, true},
        {"cut short", [&] { fs::resize_file(tree.Path(name), 10); }, "error generating md5 hash", old.substr(0, 10), true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        Replace(name, old);
        ASSERT_TRUE(SetFileTimesUtc(tree.Path(name)));
        ASSERT_TRUE(WriteReportHeader(out + std::string(kReportFileName)));
        evidence.SetAfterOpen([&](const std::string&) { c.change(); });
        const std::uint64_t changedBefore = evidence.Gaps().filesChanged;
        const auto entries = Walk();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(std::tuple(entries[0].md5, entries[0].modified, Copy(entries[0])),
                  std::tuple(c.md5, "3/15/2010 2:05:09 PM (UTC) <br>", c.copy));
        EXPECT_EQ(evidence.Gaps().filesChanged - changedBefore, c.changed ? 1u : 0u);
        host.shownPaths.clear();
    }
}

// A file whose writer never stops: the scan reads what was there at the open and ends.
TEST_F(LiveTree, AFileThatKeepsGrowingIsReadOnlyToItsSizeAtTheOpen) {
    tree.File("src/n66666_66[1].jpg", std::string(4096, 'g'));
    std::atomic<bool> done{false};
    std::thread writer;
    evidence.SetAfterOpen([&](const std::string&) {
        writer = std::thread([&] {
            std::ofstream grow(tree.Path("src/n66666_66[1].jpg"), std::ios::app);
            while (!done) grow.write(std::string(65536, 'g').data(), 65536).flush();
        });
        while (fs::file_size(tree.Path("src/n66666_66[1].jpg")) < 1 << 22) std::this_thread::yield();
    });
    const auto entries = Walk();
    done = true;
    writer.join();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(Copy(entries[0]), std::string(4096, 'g'));
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
    EXPECT_EQ(std::tuple(entries[0].path, entries[0].md5, entries[0].modified, Copy(entries[0])),
              std::tuple(path + "/n77777_77[1].jpg", kAbc.md5, "3/15/2010 2:05:09 PM (UTC) <br>", "abc"));
}

// Thousands of replacements (new contents renamed into place, links to outside, appends) while a
// whole scan runs: every entry is one file's, its digest that of its copy and its modified time
// that of the same version (unless appended to); no byte from outside reaches the report's folder.
TEST_F(LiveTree, UnderChurnEveryEntryIsConsistentWithItselfAndItsCopy) {
    constexpr int kFiles = 1500;
    const auto name = [](int i) { return "src/d" + std::to_string(i % 30) + "/n" + std::to_string(100000 + i) + "_1[1].jpg"; };
    // Version v of file i: its own bytes, and modified v minutes after a fixed time.
    const auto put = [&](int i, int v) {
        const std::string temp = "tmp" + std::to_string(i);
        tree.File(temp, "file " + std::to_string(i) + " version " + std::to_string(v) + std::string(3000 + v, '.'));
        const timespec times[2] = {{kAccessedAt, 0}, {kModifiedAt + 60 * v, 0}};
        ::utimensat(AT_FDCWD, tree.Text(temp).c_str(), times, 0);
        fs::rename(tree.Path(temp), tree.Path(name(i)));
    };
    for (int i = 0; i < 30; ++i) tree.Folder("src/d" + std::to_string(i));
    for (int i = 0; i < kFiles; ++i) put(i, 0);
    std::atomic<bool> done{false};
    std::atomic<int> changes{0};
    std::thread churn([&] {
        std::mt19937 random(7);
        for (int v = 1; !done || changes < 3000; ++v, ++changes) {
            const int i = static_cast<int>(random() % kFiles);
            std::error_code ignored;
            switch (v % 3) {
                case 0: put(i, v % 50); break;
                case 1: fs::remove(tree.Path(name(i)), ignored);
                        fs::create_symlink(tree.Path("outside/secret.jpg"), tree.Path(name(i)), ignored); break;
                default: std::ofstream(tree.Path(name(i)), std::ios::app) << "appended";
            }
        }
    });
    const auto entries = Walk();
    done = true;
    churn.join();
    EXPECT_GT(entries.size(), kFiles / 2u);  // a file that is a link when listed is passed over
    for (const Entry& entry : entries) {
        const std::string copy = Copy(entry);
        EXPECT_EQ(copy.find("secret"), std::string::npos) << entry.path;
        if (entry.md5 == "error generating md5 hash") continue;
        EXPECT_EQ(entry.md5, Md5Of(copy)) << entry.path;
        const std::smatch version = [&] { std::smatch m; std::regex_search(copy, m, std::regex("^file (\\d+) version (\\d+)")); return m; }();
        ASSERT_FALSE(version.empty()) << entry.path;
        EXPECT_EQ(tree.Text(name(std::stoi(version[1]))), entry.path);
        const int v = std::stoi(version[2]);
        if (copy.ends_with("appended")) continue;  // an append moves the time to its own
        EXPECT_EQ(entry.modified, FormatReportDateTime(*FileTimeToDate(*FileTimeFromUnixTime(kModifiedAt + 60 * v, 0))) +
                                      " (UTC) <br>") << entry.path;
    }
}

}  // namespace snapsift::test
