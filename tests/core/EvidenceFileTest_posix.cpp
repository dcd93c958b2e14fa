#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "hash/MD5.h"
#include "platform/EvidenceFile.h"
#include "support/OrdinaryUser.h"
#include "support/TempTree.h"

namespace snapsift::test {

constexpr const char* kAbc = "900150983CD24FB0D6963F7D28E17F72";

// photo.jpg ("abc"), a FIFO, a link to the FIFO and a link to the photo; a call that blocks
// ends the test program rather than hanging it.
class EvidenceFilePosix : public ::testing::Test {
protected:
    void SetUp() override {
        tree.File("photo.jpg", "abc");
        ASSERT_EQ(::mkfifo(tree.Text("fifo").c_str(), 0644), 0);
        ASSERT_EQ(::symlink(tree.Text("fifo").c_str(), tree.Text("link").c_str()), 0);
        ASSERT_EQ(::symlink(photo.c_str(), tree.Text("alias.jpg").c_str()), 0);
        ::alarm(20);
    }
    void TearDown() override { ::alarm(0); }
    TempTree tree;
    const std::string photo = tree.Text("photo.jpg");
};

TEST_F(EvidenceFilePosix, NeverBlocksOnAFifoOrADevice) {
    for (const std::string& from : {tree.Text("fifo"), tree.Text("link"), std::string("/dev/zero")}) {
        EXPECT_EQ(MD5().DigestFileToHexStr(from), MD5::kFileFailureText) << from;
        EXPECT_NE(CopyEvidenceFile(from, tree.Text("copy.jpg")), 0) << from;
    }
    EXPECT_FALSE(std::filesystem::exists(tree.Path("copy.jpg")));
}

// Neither into a FIFO nor through a link onto the source itself.
TEST_F(EvidenceFilePosix, NeverCopiesOntoAFifoOrALink) {
    EXPECT_NE(CopyEvidenceFile(photo, tree.Text("fifo")), 0);
    EXPECT_NE(CopyEvidenceFile(photo, tree.Text("alias.jpg")), 0);
    EXPECT_TRUE(std::filesystem::is_fifo(tree.Path("fifo")));
    EXPECT_EQ(ReadBytes(tree.Path("photo.jpg")), "abc");
}

// Only a file's owner may read it without moving its access time; anyone else still reads it.
TEST_F(EvidenceFilePosix, ReadsAnotherOwnersFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own a file the test's user does not";
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0777), 0);
    EXPECT_EQ(AsOrdinaryUser([&] {
        return MD5().DigestFileToHexStr(photo) + " " + std::to_string(CopyEvidenceFile(photo, tree.Text("copy.jpg")));
    }), std::string(kAbc) + " 0");
    EXPECT_EQ(ReadBytes(tree.Path("copy.jpg")), "abc");
}

// An access time older than the modification time, which even a relatime mount would update.
TEST_F(EvidenceFilePosix, DigestAndCopyKeepTheAccessTime) {
    const timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, photo.c_str(), times, 0), 0);
    EXPECT_EQ(MD5().DigestFileToHexStr(tree.Text("alias.jpg")), kAbc);
    EXPECT_EQ(CopyEvidenceFile(photo, tree.Text("photo-1.jpg")), 0);
    struct stat info {};
    ASSERT_EQ(::stat(photo.c_str(), &info), 0);
    EXPECT_EQ(info.st_atim.tv_sec, times[0].tv_sec);
    std::ifstream(photo).get();  // a plain read does move it here, or the check above means nothing
    ASSERT_EQ(::stat(photo.c_str(), &info), 0);
    if (info.st_atim.tv_sec == times[0].tv_sec) GTEST_SKIP() << "no access times";
}

}  // namespace snapsift::test
