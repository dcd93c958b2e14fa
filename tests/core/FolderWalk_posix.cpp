#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FolderWalkSupport.h"

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
    EXPECT_EQ(whole.ids, (Ids{"11111", "22222"}));
    viaLink.walk.SearchFolderTree(tree.Text("Real/Linked"));
    EXPECT_EQ(viaLink.host.shownPaths, Paths{tree.Text("Real/Linked/n22222_22[1].jpg")});
    EXPECT_TRUE(IsLinkOrJunction(tree.Text("Real/Linked/")));
    EXPECT_FALSE(Times().Read(tree.Text("n33333_33[1].jpg")));  // a link to a file
}

TEST(FolderWalkPosix, UnreadableFolderSkippedAndItsSiblingsWalked) {
    TempTree tree;
    // A/Deep is queued behind Locked whatever the listing order, so a walk that stopped at
    // Locked would miss it.
    tree.Entries({{"A/a.jpg", ""}, {"A/Deep/d.jpg", ""}, {"Locked/n11111_11[1].jpg", ""}, {"Locked/Inner/x.jpg", ""},
                  {"Z/z.jpg", ""}});
    for (const char* name : {"", "A", "A/Deep", "Z"}) ASSERT_EQ(::chmod(tree.Text(name).c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Text("Locked").c_str(), 0), 0);
    const Paths expected{tree.Text("A/Deep/d.jpg"), tree.Text("A/a.jpg"), tree.Text("Z/z.jpg")};  // sorted
    if (::fork() == 0) {  // a child that, run as root, gives up root's rights so that permissions bite
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        WalkRun run;
        run.walk.SearchFolderTree(tree.RootText());
        std::ranges::sort(run.host.shownPaths);
        ::_exit(run.host.shownPaths == expected ? 0 : 1);
    }
    int status = 0;
    EXPECT_TRUE(::wait(&status) > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

TEST(FileTimesPosix, KnownTimesInUtcInAnyTimeZone) {
    TempTree tree;
    tree.File("photo.jpg", "x");
    const std::string path = tree.Text("photo.jpg");
    // Accessed 2011-02-03 04:05:06.999, modified 2010-01-05 07:03:09.750 UTC.
    const timespec times[2] = {{1296705906, 999'000'000}, {1262674989, 750'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
    Times t;
    for (const char* other : {"UTC0", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
        ::setenv("TZ", other, 1);
        ::tzset();
        EXPECT_TRUE(t.Read(path)) << other;
        EXPECT_EQ(t.modified, (DateTime{2010, 1, 5, 7, 3, 9})) << other;
        EXPECT_EQ(t.accessed, (DateTime{2011, 2, 3, 4, 5, 6})) << other;
    }
    saved.empty() ? ::unsetenv("TZ") : ::setenv("TZ", saved.c_str(), 1);
    ::tzset();
}
