#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FolderWalkSupport.h"
#include "platform/FileTimes.h"

using namespace snapsift;
using namespace snapsift::test;

TEST(FolderWalkPosix, LinksFifosAndLoopsPassedOverButALinkRootIsWalked) {
    TempTree tree;
    tree.Entries({{"Real/n11111_11[1].jpg", ""}, {"Elsewhere/n22222_22[1].jpg", ""}});
    const std::pair<std::string, std::string> links[] = {  // target, link
        {tree.Text("Real/n11111_11[1].jpg"), "n33333_33[1].jpg"}, {tree.Text("Elsewhere"), "Real/Linked"},
        {"..", "Real/Loop"}, {tree.Text("gone.jpg"), "n44444_44[1].jpg"}};
    for (const auto& [target, at] : links) ASSERT_EQ(::symlink(target.c_str(), tree.Text(at).c_str()), 0);
    ASSERT_EQ(::mkfifo(tree.Text("n55555_55[1].jpg").c_str(), 0644), 0);
    WalkRun whole, viaLink;
    whole.walk.SearchFolderTree(tree.RootText());
    EXPECT_EQ(whole.Recognised(), (Paths{"11111", "22222"}));
    viaLink.walk.SearchFolderTree(tree.Text("Real/Linked"));
    EXPECT_EQ(viaLink.host.shownPaths, Paths{tree.Text("Real/Linked/n22222_22[1].jpg")});
    EXPECT_TRUE(IsLinkOrJunction(tree.Text("Real/Linked/")));
    std::optional<DateTime> created;
    DateTime accessed, modified;
    EXPECT_FALSE(GetFileTimes(tree.Text("n33333_33[1].jpg"), created, accessed, modified));  // link to a file
}

TEST(FolderWalkPosix, UnreadableFolderSkippedAndItsSiblingsWalked) {
    TempTree tree;
    // A/Deep is queued behind Locked whatever the listing order, so a walk that stopped at
    // Locked would miss it.
    tree.Entries({{"A/a.jpg", ""}, {"A/Deep/d.jpg", ""}, {"Locked/n11111_11[1].jpg", ""}, {"Locked/Inner/x.jpg", ""},
                  {"Z/z.jpg", ""}});
    for (const char* name : {"", "A", "A/Deep", "Z"}) ASSERT_EQ(::chmod(tree.Text(name).c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Text("Locked").c_str(), 0), 0);
    Paths expected{tree.Text("A/a.jpg"), tree.Text("A/Deep/d.jpg"), tree.Text("Z/z.jpg")};
    std::ranges::sort(expected);
    const pid_t child = ::fork();
    if (child == 0) {  // a child that, run as root, gives up root's rights so that permissions bite
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        WalkRun run;
        run.walk.SearchFolderTree(tree.RootText());
        std::ranges::sort(run.host.shownPaths);
        ::_exit(run.host.shownPaths == expected ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}
