#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ScanRunFixture.h"
#include "search/EvidenceEntry.h"
#include "search/FolderWalk.h"
#include "search/Report.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

using test::ReadBytes;
using test::RecordingHost;
using test::TempTree;

class EvidenceEntryPosixTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Folder("out");
        tree.Folder("src");
        state.OutputFolder = AddBackslash(tree.Text("out"));
        ASSERT_TRUE(WriteReportHeader(state.OutputFolder + std::string(kReportFileName)));
    }
    std::string ReportBytes() const { return ReadBytes(tree.Path("out/Quorvia JPG Files.htm")); }

    TempTree tree;
    ScanState state;
    RecordingHost host{state};
    EvidenceEntry evidence{state, host};
};

// A FIFO under a recognised name is never opened for reading: no hang, no copy.
TEST_F(EvidenceEntryPosixTest, AFifoIsNeverRead) {
    const std::string path = tree.Text("src/n12345_67[1].jpg");
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    evidence.ProcessCandidate(path, "n12345_67[1].jpg", 0);
    EXPECT_EQ(state.FilesFound, 1);
    EXPECT_NE(ReportBytes().find("<b>MD5:</b> error generating md5 hash<br>----<br>\r\n"), std::string::npos);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].second.rfind("Error copying file: " + path + ". Error number: ", 0), 0u);
    EXPECT_NE(host.messages[0].second.find(". Error number: "), std::string::npos);
    struct stat copy {};
    EXPECT_NE(lstat(tree.Text("out/n12345_67[1]-1.jpg").c_str(), &copy), 0);
}

TEST_F(EvidenceEntryPosixTest, AFileWithoutReadPermissionGetsTheDigestFailureText) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads a file whatever its permissions";
    tree.File("src/n12345_67[1].jpg", "abc");
    const std::string path = tree.Text("src/n12345_67[1].jpg");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    evidence.ProcessCandidate(path, "n12345_67[1].jpg", 0);
    chmod(path.c_str(), 0644);
    EXPECT_NE(ReportBytes().find("<b>MD5:</b> error generating md5 hash<br>----<br>\r\n"), std::string::npos);
    EXPECT_NE(ReportBytes().find("<b>Modified time:</b> "), std::string::npos);
    EXPECT_EQ(ReportBytes().find("<b>Modified time:</b> Unable"), std::string::npos);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].second,
              "Error copying file: " + path + ". Error number: 13. Click OK to continue.");
}

}  // namespace
}  // namespace snapsift
