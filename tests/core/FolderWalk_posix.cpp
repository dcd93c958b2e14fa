#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FolderWalkSupport.h"
#include "support/OrdinaryUser.h"

namespace snapsift::test {

// Links to a file, to a folder, to the parent and to nothing, and a FIFO.
class LinksTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.Entries({{"Real/n11111_11[1].jpg", ""}, {"Elsewhere/n22222_22[1].jpg", ""}});
        const std::pair<std::string, std::string> links[] = {  // target, link
            {tree.Text("Real/n11111_11[1].jpg"), "n33333_33[1].jpg"}, {tree.Text("Elsewhere"), "Real/Linked"},
            {"..", "Real/Loop"}, {tree.Text("gone.jpg"), "n44444_44[1].jpg"}};
        for (const auto& [target, at] : links) ASSERT_EQ(::symlink(target.c_str(), tree.Text(at).c_str()), 0);
        ASSERT_EQ(::mkfifo(tree.Text("n55555_55[1].jpg").c_str(), 0644), 0);
    }
    TempTree tree;
    WalkRun run;
};

TEST_F(LinksTest, LinksAndFifosBelowTheRootArePassedOver) {
    run.walk.SearchFolderTree(tree.RootText());
    std::ranges::sort(run.host.shownPaths);
    EXPECT_EQ(run.host.shownPaths,
              (Paths{tree.Text("Elsewhere/n22222_22[1].jpg"), tree.Text("Real/n11111_11[1].jpg")}));
}

TEST_F(LinksTest, ARootThatIsALinkIsWalked) {
    run.walk.SearchFolderTree(tree.Text("Real/Linked"));
    EXPECT_EQ(run.host.shownPaths, Paths{tree.Text("Real/Linked/n22222_22[1].jpg")});
}

TEST_F(LinksTest, ALinkToAFolderIsALinkWithOrWithoutTheSeparator) {
    EXPECT_TRUE(IsLinkOrJunction(tree.Text("Real/Linked")));
    EXPECT_TRUE(IsLinkOrJunction(tree.Text("Real/Linked/")));
}

// Locked holds a photo; A/Deep is queued behind Locked whatever the listing order, so a walk
// that stopped at Locked would miss it.
TEST(FolderWalkPosix, AFolderThatCannotBeOpenedIsReportedAndTheRestWalked) {
    TempTree tree;
    tree.Entries({{"A/a.jpg", ""}, {"A/Deep/n22222_22[1].jpg", ""}, {"Locked/n11111_11[1].jpg", ""},
                  {"Locked/Inner/x.jpg", ""}, {"Z/z.jpg", ""}});
    for (const char* name : {"", "A", "A/Deep", "Z"}) ASSERT_EQ(::chmod(tree.Text(name).c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Text("Locked").c_str(), 0), 0);
    const std::string seen = AsOrdinaryUser([&] {
        WalkRun run;
        run.walk.SearchFolderTree(tree.RootText());
        std::ranges::sort(run.host.shownPaths);
        std::string text;
        for (const std::string& path : run.host.shownPaths) text += path + "\n";
        for (const auto& [path, code] : run.host.unreadable) text += path + " " + std::to_string(code) + "\n";
        for (const std::string& id : run.ids) text += "ID " + id + "\n";
        return text;
    });
    EXPECT_EQ(seen, tree.Text("A/Deep/n22222_22[1].jpg") + "\n" + tree.Text("A/a.jpg") + "\n" + tree.Text("Z/z.jpg") +
                        "\n" + tree.Text("Locked/") + " " + std::to_string(EACCES) + "\nID 22222\n");
}

}  // namespace snapsift::test
