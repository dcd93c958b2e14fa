#include <gtest/gtest.h>

#include "FolderWalkSupport.h"
#include "LongPath_win.h"

namespace snapsift::test {

class LongPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(::CloseHandle(::CreateFileW(ApiPath(file.path).c_str(), GENERIC_WRITE, 0, 0, CREATE_NEW, 0, 0)));
    }
    TempTree tree;
    const LongPathFile file{tree};
};

TEST_F(LongPathTest, BothWalksFindAFilePast260Characters) {
    WalkRun whole, single;
    whole.walk.SearchFolderTree(tree.RootText());
    single.walk.SearchFolder(file.folder.substr(0, file.folder.size() - 1));
    EXPECT_EQ(whole.ids, Ids{"12345"});
    EXPECT_EQ(single.host.shownPaths, Paths{file.path});
}

TEST_F(LongPathTest, PathExistsFindsAFilePast260Characters) { EXPECT_TRUE(PathExists(file.path, false)); }

}  // namespace snapsift::test
