#include <gtest/gtest.h>

#include "FolderWalkSupport.h"
#include "platform/DirectoryListing_win.h"

// After the project headers: <windows.h> defines a Yield() macro that would rename
// ScanHost::Yield.
#include <windows.h>

using namespace snapsift;
using namespace snapsift::test;

// One file past 260 characters, held open without sharing (as a browser holds its cache files),
// with known times: the walk finds it and its times read back in UTC.
TEST(FolderWalkWin, LongPathHeldOpenWithKnownTimes) {
    TempTree tree;
    std::string folder = tree.RootText();
    for (char c = 'a'; c < 'g'; ++c)
        ASSERT_TRUE(::CreateDirectoryW(ApiPath(folder += std::string(60, c) + "\\").c_str(), nullptr));
    const std::string path = folder + "n12345_67[1].jpg";
    const HANDLE file = ::CreateFileW(ApiPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::uint64_t modifiedAt = 129071485897500000, accessedAt = modifiedAt + 10'000'000ull * 3600;
    const FILETIME times[2] = {{static_cast<DWORD>(accessedAt), static_cast<DWORD>(accessedAt >> 32)},
                               {static_cast<DWORD>(modifiedAt), static_cast<DWORD>(modifiedAt >> 32)}};
    EXPECT_TRUE(::SetFileTime(file, nullptr, &times[0], &times[1]));
    Times t;
    EXPECT_TRUE(t.Read(path) && t.created.has_value());
    EXPECT_EQ(t.modified, (DateTime{2010, 1, 5, 7, 3, 9}));  // 07:03:09.750
    EXPECT_EQ(t.accessed, (DateTime{2010, 1, 5, 8, 3, 9}));
    WalkRun run, single;
    run.walk.SearchFolderTree(tree.RootText());
    single.walk.SearchFolder(folder.substr(0, folder.size() - 1));
    ::CloseHandle(file);
    EXPECT_EQ(run.host.shownPaths, Paths{path});
    EXPECT_EQ(single.host.shownPaths, run.host.shownPaths);
    EXPECT_EQ(run.ids, Ids{"12345"});
    EXPECT_TRUE(PathExists(path, false));
    ::DeleteFileW(ApiPath(path).c_str());
    for (; folder.size() > tree.RootText().size(); folder.erase(folder.rfind('\\', folder.size() - 2) + 1))
        ::RemoveDirectoryW(ApiPath(folder).c_str());
}
