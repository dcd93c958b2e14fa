#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "hash/MD5.h"
#include "platform/EvidenceFile.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

// Ends the test program if a call blocks, so that a hang shows as a failure.
class Watchdog {
public:
    explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
    ~Watchdog() { ::alarm(0); }
};

class UnixSocket {
public:
    explicit UnixSocket(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        bound_ = fd_ >= 0 && path.size() < sizeof address.sun_path &&
                 ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~UnixSocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Bound() const { return bound_; }

private:
    int fd_;
    bool bound_ = false;
};

TEST(EvidenceFilePosix, SpecialFilesFailAtOnce) {
    test::TempTree tree;
    ASSERT_EQ(::mkfifo(tree.Text("fifo").c_str(), 0644), 0);
    tree.File("photo.jpg", "abc");
    ASSERT_EQ(::symlink(tree.Text("fifo").c_str(), tree.Text("link-to-fifo").c_str()), 0);
    ASSERT_EQ(::symlink(tree.Text("photo.jpg").c_str(), tree.Text("link-to-photo").c_str()), 0);
    const UnixSocket socket(tree.Text("socket"));
    ASSERT_TRUE(socket.Bound());

    const Watchdog watchdog(20);
    MD5 md5;
    for (const std::string& path : {tree.Text("fifo"), tree.Text("link-to-fifo"), tree.Text("socket"),
                                   std::string("/dev/null"), std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(md5.DigestFileToHexStr(path), MD5::kFileFailureText);
        EXPECT_NE(CopyEvidenceFile(path, tree.Text("copy.jpg")), 0);
        EXPECT_FALSE(std::filesystem::exists(tree.Path("copy.jpg")));
    }
    // A link to a regular file is followed.
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("link-to-photo")), "900150983CD24FB0D6963F7D28E17F72");
    // Nor does a FIFO in the destination's place block the copy or get replaced.
    EXPECT_NE(CopyEvidenceFile(tree.Text("photo.jpg"), tree.Text("fifo")), 0);
    struct stat st;
    ASSERT_EQ(::lstat(tree.Text("fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(EvidenceFilePosix, CopyOntoALinkToTheSourceKeepsTheSource) {
    test::TempTree tree;
    tree.File("photo.jpg", "evidence");
    ASSERT_EQ(::symlink(tree.Text("photo.jpg").c_str(), tree.Text("alias.jpg").c_str()), 0);
    EXPECT_NE(CopyEvidenceFile(tree.Text("photo.jpg"), tree.Text("alias.jpg")), 0);
    EXPECT_EQ(test::ReadBytes(tree.Path("photo.jpg")), "evidence");
}

timespec AccessTime(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_atim;
}

bool Same(const timespec& x, const timespec& y) { return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec; }

TEST(EvidenceFilePosix, ReadingLeavesTheAccessTime) {
    test::TempTree tree;
    tree.File("photo.jpg", std::string(5000, 'p'));
    tree.Folder("out");
    const std::string path = tree.Text("photo.jpg");
    // An access time older than the modification time: even a relatime mount would
    // update it on the next read.
    const timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    MD5 md5;
    EXPECT_NE(md5.DigestFileToHexStr(path), MD5::kFileFailureText);
    EXPECT_TRUE(Same(AccessTime(path), times[0]));
    EXPECT_EQ(CopyEvidenceFile(path, tree.Text("out/photo-1.jpg")), 0);
    EXPECT_TRUE(Same(AccessTime(path), times[0]));

    // The same reads without care do change it here, so the checks above mean something.
    std::ifstream plain(path, std::ios::binary);
    char buffer[100];
    plain.read(buffer, sizeof buffer);
    plain.close();
    if (Same(AccessTime(path), times[0])) GTEST_SKIP() << "this file system does not record access times";
}

TEST(EvidenceFilePosix, ReadsFilesOfOtherOwners) {
    // Only the owner may ask not to update the access time; anyone else still reads the file.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to read as another user";
    test::TempTree tree;
    tree.File("photo.jpg", "abc");
    ::chmod(tree.RootText().c_str(), 0755);
    ::chmod(tree.Text("photo.jpg").c_str(), 0644);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        MD5 md5;
        ::_exit(md5.DigestFileToHexStr(tree.Text("photo.jpg")) == "900150983CD24FB0D6963F7D28E17F72" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace snapsift
