#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FolderWalkSupport.h"

namespace snapsift::test {
namespace {

void Link(const std::string& target, const std::string& at) {
    ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0) << at << ": " << std::strerror(errno);
}

// A bound Unix socket leaves a socket entry in the folder for as long as the tree lives.
class SocketEntry {
public:
    explicit SocketEntry(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd_ < 0 || path.size() >= sizeof address.sun_path) return;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~SocketEntry() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Bound() const { return bound_; }

private:
    int fd_;
    bool bound_ = false;
};

TEST(FolderWalkPosix, LinksFifosAndSocketsArePassedOver) {
    TempTree tree;
    tree.Entries({{"Real/n11111_11[1].jpg", ""}, {"Elsewhere/n22222_22[1].jpg", ""}});
    Link(tree.Text("Real/n11111_11[1].jpg"), tree.Text("n33333_33[1].jpg"));  // link to a file
    Link(tree.Text("Elsewhere"), tree.Text("Real/LinkedFolder"));          // link to a folder
    Link("..", tree.Text("Real/Loop"));                                      // a cycle
    Link(tree.Text("gone.jpg"), tree.Text("n44444_44[1].jpg"));              // dangling
    ASSERT_EQ(::mkfifo(tree.Text("n55555_55[1].jpg").c_str(), 0644), 0);
    SocketEntry socket(tree.Text("n66666_66[1].jpg"));
    ASSERT_TRUE(socket.Bound());

    WalkRun run;
    run.walk.SearchFolderTree(tree.Text("Real"));
    EXPECT_EQ(run.host.shownPaths,
              (std::vector<std::string>{tree.Text("Real") + "/n11111_11[1].jpg"}));

    WalkRun whole;
    whole.walk.SearchFolderTree(tree.RootText());
    std::vector<std::string> ids = whole.Recognised();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"11111", "22222"}));
    EXPECT_EQ(whole.host.shownPaths.size(), 2u);

    WalkRun single;
    single.walk.SearchFolder(tree.RootText());
    EXPECT_TRUE(single.host.shownPaths.empty());
}

TEST(FolderWalkPosix, ChosenRootIsWalkedEvenWhenItIsALink) {
    TempTree tree;
    tree.Entries({{"Real/n11111_11[1].jpg", ""}, {"Real/Sub/n22222_22[1].jpg", ""}});
    Link(tree.Text("Real"), tree.Text("Root"));
    EXPECT_TRUE(IsLinkOrJunction(tree.Text("Root")));
    EXPECT_TRUE(IsLinkOrJunction(tree.Text("Root") + "/"));
    EXPECT_TRUE(PathExists(tree.Text("Root"), true));
    EXPECT_FALSE(PathExists(tree.Text("Root"), false));

    WalkRun run;
    run.walk.SearchFolderTree(tree.Text("Root"));
    EXPECT_EQ(run.host.shownPaths,
              (std::vector<std::string>{tree.Text("Root") + "/n11111_11[1].jpg",
                                        tree.Text("Root") + "/Sub/n22222_22[1].jpg"}));
    WalkRun single;
    single.walk.SearchFolder(tree.Text("Root") + "/");
    EXPECT_EQ(single.host.shownPaths,
              (std::vector<std::string>{tree.Text("Root") + "/n11111_11[1].jpg"}));
}

TEST(FolderWalkPosix, FolderSwappedForALinkAfterListingIsNotEntered) {
    TempTree tree;
    tree.Entries({{"a.jpg", ""}, {"Sub/b.jpg", ""}, {"Elsewhere/c.jpg", ""}});
    WalkRun run;
    // While the root's file is on display, Sub (already queued) becomes a link elsewhere.
    run.host.onYield = [&](std::size_t shown) {
        if (shown != 1) return;
        std::filesystem::remove_all(tree.Path("Sub"));
        Link(tree.Text("Elsewhere"), tree.Text("Sub"));
    };
    run.walk.SearchFolderTree(tree.Text("Elsewhere/.."));
    const std::string root = tree.Text("Elsewhere/..") + "/";
    EXPECT_EQ(run.host.shownPaths,
              (std::vector<std::string>{root + "a.jpg", root + "Elsewhere/c.jpg"}));
}

// Runs the walk in a child process that has given up root's rights (when it had them), so
// that permissions bite; returns the paths it showed.
std::vector<std::string> WalkWithoutPrivileges(const std::string& root) {
    int fds[2];
    if (::pipe(fds) != 0) return {"pipe failed"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        WalkRun run;
        run.walk.SearchFolderTree(root);
        std::string out;
        for (const std::string& path : run.host.shownPaths) out += path + "\n";
        const bool written = ::write(fds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size());
        ::_exit(written ? 0 : 3);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {"child failed"};
    std::vector<std::string> paths;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        paths.push_back(text.substr(start, end - start));
    return paths;
}

TEST(FolderWalkPosix, UnreadableFolderSkippedAndItsSiblingsWalked) {
    TempTree tree;
    tree.Entries({{"A/a.jpg", ""}, {"Locked/n11111_11[1].jpg", ""}, {"Locked/Inner/x.jpg", ""},
                  {"Z/z.jpg", ""}});
    std::filesystem::permissions(tree.Root(), std::filesystem::perms::owner_all |
                                                  std::filesystem::perms::group_read |
                                                  std::filesystem::perms::group_exec |
                                                  std::filesystem::perms::others_read |
                                                  std::filesystem::perms::others_exec);
    for (const char* name : {"A", "Z"}) ASSERT_EQ(::chmod(tree.Text(name).c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Text("Locked").c_str(), 0), 0);
    std::vector<std::string> shown = WalkWithoutPrivileges(tree.RootText());
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{tree.RootText() + "A/a.jpg", tree.RootText() + "Z/z.jpg"}));
}

TEST(FolderWalkPosix, PathsLongerThanTheKernelTakesAtOnce) {
    TempTree tree;
    const std::string component(200, 'd');
    // Build the chain relative to each new folder, as no single path may name its end.
    int fd = ::open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    std::string relative;
    const int depth = PATH_MAX / 200 + 4;
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdirat(fd, component.c_str(), 0755), 0);
        const int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        relative += component + "/";
    }
    const int file = ::openat(fd, "n12345_67[1].jpg", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ::close(file);
    ::close(fd);

    const std::string deepFolder = tree.RootText() + relative;
    ASSERT_GT(deepFolder.size(), static_cast<std::size_t>(PATH_MAX));
    WalkRun run;
    run.walk.SearchFolderTree(tree.RootText());
    EXPECT_EQ(run.host.shownPaths, (std::vector<std::string>{deepFolder + "n12345_67[1].jpg"}));
    EXPECT_EQ(run.Recognised(), (std::vector<std::string>{"12345"}));

    WalkRun fromDeep;
    fromDeep.walk.SearchFolder(deepFolder);
    EXPECT_EQ(fromDeep.host.shownPaths, run.host.shownPaths);

    // Leave a tree that std::filesystem can remove.
    std::filesystem::remove_all(tree.Path(component));
}

}  // namespace
}  // namespace snapsift::test
