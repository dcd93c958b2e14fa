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

TEST(EvidenceFilePosix, NeverBlocksNorTouchesTheAccessTime) {
    test::TempTree tree;
    tree.File("photo.jpg", "abc");
    ASSERT_EQ(::mkfifo(tree.Text("fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink(tree.Text("fifo").c_str(), tree.Text("link").c_str()), 0);
    ASSERT_EQ(::symlink(tree.Text("photo.jpg").c_str(), tree.Text("alias.jpg").c_str()), 0);
    ::alarm(20);  // a call that blocks ends the test program rather than hanging it
    MD5 md5;
    for (const std::string& path : {tree.Text("fifo"), tree.Text("link"), std::string("/dev/zero")}) {
        EXPECT_EQ(md5.DigestFileToHexStr(path), MD5::kFileFailureText) << path;
        EXPECT_NE(CopyEvidenceFile(path, tree.Text("copy.jpg")), 0) << path;
    }
    EXPECT_NE(CopyEvidenceFile(tree.Text("photo.jpg"), tree.Text("fifo")), 0);
    EXPECT_NE(CopyEvidenceFile(tree.Text("photo.jpg"), tree.Text("alias.jpg")), 0);  // the source itself
    ::alarm(0);
    EXPECT_FALSE(std::filesystem::exists(tree.Path("copy.jpg")));
    EXPECT_TRUE(std::filesystem::is_fifo(tree.Path("fifo")));

    const std::string path = tree.Text("photo.jpg");
    // Older than the modification time, so that even a relatime mount would update it.
    const timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("alias.jpg")), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(CopyEvidenceFile(path, tree.Text("photo-1.jpg")), 0);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, times[0].tv_sec);
    std::ifstream(path).get();  // a plain read does move it here, or the check above means nothing
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    if (st.st_atim.tv_sec == times[0].tv_sec) GTEST_SKIP() << "this file system keeps no access times";
}

TEST(EvidenceFilePosix, ReadsFilesOfOtherOwners) {
    // Only a file's owner may read it without moving its access time; anyone else still reads it.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to read as another user";
    test::TempTree tree;
    tree.File("photo.jpg", "abc");
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0777), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const bool digested = MD5().DigestFileToHexStr(tree.Text("photo.jpg")) == "900150983CD24FB0D6963F7D28E17F72";
        ::_exit(digested && CopyEvidenceFile(tree.Text("photo.jpg"), tree.Text("copy.jpg")) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::ReadBytes(tree.Path("copy.jpg")), "abc");
}

}  // namespace snapsift
