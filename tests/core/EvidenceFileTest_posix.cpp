#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "hash/MD5.h"
#include "platform/EvidenceFile.h"
#include "support/TempTree.h"

namespace snapsift {

TEST(EvidenceFilePosix, NeverBlocksReadsOtherOwnersFilesAndKeepsTheAccessTime) {
    constexpr const char* kAbc = "900150983CD24FB0D6963F7D28E17F72";
    test::TempTree tree;
    tree.File("photo.jpg", "abc");
    const std::string path = tree.Text("photo.jpg");
    ASSERT_EQ(::mkfifo(tree.Text("fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink(tree.Text("fifo").c_str(), tree.Text("link").c_str()), 0);
    ASSERT_EQ(::symlink(path.c_str(), tree.Text("alias.jpg").c_str()), 0);
    ::alarm(20);  // a call that blocks ends the test program rather than hanging it
    for (const std::string& from : {tree.Text("fifo"), tree.Text("link"), std::string("/dev/zero")}) {
        EXPECT_EQ(MD5().DigestFileToHexStr(from), MD5::kFileFailureText) << from;
        EXPECT_NE(CopyEvidenceFile(from, tree.Text("copy.jpg")), 0) << from;
    }
    EXPECT_NE(CopyEvidenceFile(path, tree.Text("fifo")), 0);
    EXPECT_NE(CopyEvidenceFile(path, tree.Text("alias.jpg")), 0);  // the source itself
    ::alarm(0);
    EXPECT_FALSE(std::filesystem::exists(tree.Path("copy.jpg")));
    EXPECT_TRUE(std::filesystem::is_fifo(tree.Path("fifo")));
    // Only a file's owner may read it without moving its access time; anyone else still reads it.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(tree.Root().c_str(), 0777), 0);
        if (::fork() == 0)
            ::_exit(::setgid(65534) || ::setuid(65534) || MD5().DigestFileToHexStr(path) != kAbc ||
                    CopyEvidenceFile(path, tree.Text("copy.jpg")) != 0);
        int status = 0;
        EXPECT_TRUE(::wait(&status) > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(test::ReadBytes(tree.Path("copy.jpg")), "abc");
    }
    // Older than the modification time, so that even a relatime mount would update it.
    const timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(MD5().DigestFileToHexStr(tree.Text("alias.jpg")), kAbc);
    EXPECT_EQ(CopyEvidenceFile(path, tree.Text("photo-1.jpg")), 0);
    struct stat st {};
    EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && st.st_atim.tv_sec == times[0].tv_sec);
    std::ifstream(path).get();  // a plain read does move it here, or the check above means nothing
    if (::stat(path.c_str(), &st) == 0 && st.st_atim.tv_sec == times[0].tv_sec) GTEST_SKIP() << "no access times";
}

}  // namespace snapsift
