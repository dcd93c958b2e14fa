#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ScanRunFixture.h"
#include "app/ScanRun.h"
#include "platform/LocaleText.h"
#include "search/FolderWalk.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

namespace fs = std::filesystem;
using test::CompletedTail;
using test::EntryFor;
using test::EntryLines;
using test::kHeaderLine;
using test::ReadBytes;
using test::RecordingHost;
using test::TempTree;

const DateTime kNow{2010, 3, 5, 9, 7, 3};
const DateTime kAccessed{2009, 6, 1, 8, 0, 0};
const DateTime kModified{2010, 3, 15, 14, 5, 9};
constexpr const char* kAbcDigest = "900150983cd24fb0d6963f7d28e17f72";

class ScanRunPosixTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Folder("src");
        tree.Folder("out");
        state.SourceFolder = tree.Text("src") + "/";
        state.OutputFolder = tree.Text("out") + "/";
        environment.localNow = [] { return kNow; };
    }
    ScanResult Run() { return RunScan(state, host, environment); }
    std::string AddFile(const std::string& relative, const std::string& contents = "abc") {
        tree.File(relative, contents);
        EXPECT_TRUE(test::SetFileTimesUtc(tree.Path(relative), kAccessed, kModified));
        return tree.Text(relative);
    }
    static std::string Report(const ScanResult& result) { return ReadBytes(result.reportPath); }
    std::vector<std::string> EntryPaths(const ScanResult& result) {
        std::vector<std::string> paths;
        const std::string report = Report(result);
        const std::string marker = "<b>Full path:</b> ";
        for (std::size_t at = report.find(marker); at != std::string::npos; at = report.find(marker, at + 1)) {
            const std::size_t start = at + marker.size();
            paths.push_back(report.substr(start, report.find("<br>", start) - start));
        }
        return paths;
    }

    TempTree tree;
    ScanState state;
    RecordingHost host{state};
    ScanEnvironment environment;
};

TEST_F(ScanRunPosixTest, HostileNamesAreEscapedAndTheirCopiesStillLoad) {
    const std::string folder = "<script>alert(\"x\")</script>&?";
    const std::string name = "1111_222_333_444_555_<b>\"?#%5_n[1].jpg";
    const std::string path = AddFile("src/" + folder + "/" + name);
    const ScanResult result = Run();
    auto entry = EntryFor(path, "", "333", kAbcDigest, kAccessed, kModified);
    entry.pathText = tree.Text("src") +
                     "/&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;?/"
                     "1111_222_333_444_555_&lt;b&gt;&quot;?#%5_n[1].jpg";
    entry.nameText = "1111_222_333_444_555_&lt;b&gt;&quot;?#%5_n[1].jpg";
    entry.imageSource = "1111_222_333_444_555_&lt;b&gt;&quot;%3F%23%255_n[1]-1.jpg";
    EXPECT_EQ(Report(result), kHeaderLine + EntryLines(entry) + CompletedTail(1));
    EXPECT_EQ(ReadBytes(result.runFolder + "1111_222_333_444_555_<b>\"?#%5_n[1]-1.jpg"), "abc");
}

TEST_F(ScanRunPosixTest, NamesThatAreNotUtf8AreWrittenRecognisably) {
    const std::string path = AddFile("src/\xFF\xFE/1111_222_333_444_555_\xE9" "5_n[1].jpg");
    const ScanResult result = Run();
    auto entry = EntryFor(path, "", "333", kAbcDigest, kAccessed, kModified);
    entry.pathText = tree.Text("src") + "/&#92;xFF&#92;xFE/1111_222_333_444_555_&#92;xE95_n[1].jpg";
    entry.nameText = "1111_222_333_444_555_&#92;xE95_n[1].jpg";
    entry.imageSource = "1111_222_333_444_555_%E95_n[1]-1.jpg";
    EXPECT_EQ(Report(result), kHeaderLine + EntryLines(entry) + CompletedTail(1));
    EXPECT_EQ(ReadBytes(result.runFolder + "1111_222_333_444_555_\xE9" "5_n[1]-1.jpg"), "abc");
}

class ProfileLinkTest : public ScanRunPosixTest {
protected:
    void SetUp() override {
        ScanRunPosixTest::SetUp();
        state.SourceFolder.clear();
        host.profileMode = true;
        tree.Folder("drive");
        host.driveRoot = tree.Text("drive");
    }
};

TEST_F(ProfileLinkTest, DocumentsAndSettingsLinkedToUsersIsWalkedOnce) {
    const std::string file = AddFile("drive/Users/alice/n12345_67[1].jpg");
    fs::create_directory_symlink("Users", tree.Path("drive/Documents and Settings"));
    const ScanResult result = Run();
    EXPECT_EQ(EntryPaths(result), std::vector<std::string>{file});
    EXPECT_EQ(host.shownPaths, std::vector<std::string>{file});
    EXPECT_EQ(state.FilesFound, 1);
}

TEST_F(ProfileLinkTest, AUsersLinkIsNotWalkedButARealDocumentsAndSettingsIs) {
    AddFile("elsewhere/n12345_67[1].jpg");
    const std::string file = AddFile("drive/Documents and Settings/bob/n12345_67[2].jpg");
    fs::create_directory_symlink(tree.Path("elsewhere"), tree.Path("drive/Users"));
    const ScanResult result = Run();
    EXPECT_EQ(EntryPaths(result), std::vector<std::string>{file});
}

TEST_F(ScanRunPosixTest, AChosenSourceFolderThatIsALinkIsWalked) {
    AddFile("real/n12345_67[1].jpg");
    fs::create_directory_symlink(tree.Path("real"), tree.Path("link"));
    state.SourceFolder = tree.Text("link") + "/";
    const ScanResult result = Run();
    EXPECT_EQ(EntryPaths(result), std::vector<std::string>{tree.Text("link") + "/n12345_67[1].jpg"});
}

struct Stamp {
    std::string contents;
    timespec accessed{}, modified{}, changed{};
    bool operator==(const Stamp& other) const {
        const auto same = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
        return contents == other.contents && same(accessed, other.accessed) && same(modified, other.modified) &&
               same(changed, other.changed);
    }
};

// The bytes of a file, read without touching its access time.
std::string ReadQuietly(const fs::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOATIME | O_CLOEXEC);
    std::string bytes;
    if (fd < 0) return bytes;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return bytes;
}

std::map<std::string, Stamp> StampsOf(const fs::path& root) {
    std::map<std::string, Stamp> stamps;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (!item.is_regular_file()) continue;
        struct stat info {};
        EXPECT_EQ(lstat(item.path().c_str(), &info), 0);
        stamps[item.path().string()] = Stamp{ReadQuietly(item.path()), info.st_atim, info.st_mtim, info.st_ctim};
    }
    return stamps;
}

// Access times older than the modified times: a relatime mount would update them on any read.
TEST_F(ScanRunPosixTest, TheSourceTreeIsLeftExactlyAsItWas) {
    const char* files[] = {"src/n12345_67[1].jpg", "src/a/1111_222_333_444_555_n[1].jpg",
                           "src/a/b/n7654321_1_2[3].jpg", "src/photo.jpg", "src/a/n12345_67.jpg"};
    for (const char* file : files) AddFile(file, std::string("bytes of ") + file);
    const auto before = StampsOf(tree.Path("src"));
    for (const auto& [path, stamp] : before)
        ASSERT_LT(stamp.accessed.tv_sec, stamp.modified.tv_sec) << path;
    const ScanResult result = Run();
    ASSERT_EQ(result.outcome, ScanOutcome::Completed);
    EXPECT_EQ(state.FilesFound, 3);
    EXPECT_TRUE(StampsOf(tree.Path("src")) == before);
    const std::string report = Report(result);
    const std::string accessedLine = "<b>Last Accessed time:</b> " + FormatReportDateTime(kAccessed) + " (UTC) <br>\r\n";
    std::size_t lines = 0;
    for (std::size_t at = report.find(accessedLine); at != std::string::npos; at = report.find(accessedLine, at + 1))
        ++lines;
    EXPECT_EQ(lines, 3u);
}

// A report path beyond PATH_MAX while its folder's own path is not: the folder is made, the
// report is not.
TEST_F(ScanRunPosixTest, AReportFileThatCannotBeMadeStopsTheRun) {
    const std::string stampFolder = "Snapsift - " + OutputFolderStamp(kNow);
    std::string chosen = tree.Text("out") + "/";
    const std::size_t runFolderLength = 4080;  // + "/Quorvia JPG Files.htm" passes 4095
    while (chosen.size() + stampFolder.size() < runFolderLength) {
        const std::size_t room = runFolderLength - stampFolder.size() - chosen.size();
        chosen += std::string(std::min<std::size_t>(room > 1 ? room - 1 : 1, 200), 'd') + "/";
    }
    ASSERT_EQ(chosen.size() + stampFolder.size(), runFolderLength);
    fs::create_directories(chosen);
    state.OutputFolder = chosen;
    const ScanResult result = Run();
    EXPECT_EQ(result.outcome, ScanOutcome::Stopped);
    EXPECT_EQ(host.messages, (std::vector<std::pair<MessageKind, std::string>>{
                                 {MessageKind::Stop, "Error opening output file."}}));
    EXPECT_TRUE(host.looks.empty());
    EXPECT_EQ(state.OutputFolder, chosen);
    ASSERT_TRUE(fs::is_directory(chosen + stampFolder));
    EXPECT_TRUE(fs::is_empty(chosen + stampFolder));
}

}  // namespace
}  // namespace snapsift
