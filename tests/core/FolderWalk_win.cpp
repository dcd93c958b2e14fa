#include <gtest/gtest.h>

#include "FolderWalkSupport.h"
#include "platform/FileTimes.h"
#include "search/DirectoryListing_win.h"

// After the project headers: <windows.h> defines a Yield() macro that would rename
// ScanHost::Yield.
#include <windows.h>

using namespace snapsift;
using namespace snapsift::test;

static FILETIME ToFileTime(std::uint64_t count) { return {static_cast<DWORD>(count), static_cast<DWORD>(count >> 32)}; }

// One file past 260 characters, held open without sharing (as a browser holds its cache files),
// with known times: the walk finds it and its times read back in UTC.
TEST(FolderWalkWin, LongPathHeldOpenWithKnownTimes) {
    TempTree tree;
    const std::string name = "n12345_67[1].jpg";
    std::string folder = tree.RootText();
    for (char c = 'a'; c < 'g'; ++c) {
        folder += std::string(60, c) + "\\";
        ASSERT_TRUE(::CreateDirectoryW(ApiPath(folder).c_str(), nullptr));
    }
    ASSERT_GT(folder.size(), 260u);
    const HANDLE file = ::CreateFileW(ApiPath(folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const FILETIME accessed = ToFileTime(129071485897500000 + 10'000'000ull * 3600);  // 2010-01-05 08:03:09.750
    const FILETIME modified = ToFileTime(129071485897500000);                         // 2010-01-05 07:03:09.750
    EXPECT_TRUE(::SetFileTime(file, nullptr, &accessed, &modified));
    std::optional<DateTime> timeCreated;
    DateTime timeAccessed, timeModified;
    EXPECT_TRUE(GetFileTimes(folder + name, timeCreated, timeAccessed, timeModified));
    EXPECT_EQ(timeModified, (DateTime{2010, 1, 5, 7, 3, 9}));
    EXPECT_EQ(timeAccessed, (DateTime{2010, 1, 5, 8, 3, 9}));
    EXPECT_TRUE(timeCreated.has_value());
    WalkRun run, single;
    run.walk.SearchFolderTree(tree.RootText());
    single.walk.SearchFolder(folder.substr(0, folder.size() - 1));
    ::CloseHandle(file);
    EXPECT_EQ(run.host.shownPaths, Paths{folder + name});
    EXPECT_EQ(single.host.shownPaths, run.host.shownPaths);
    EXPECT_EQ(run.Recognised(), Paths{"12345"});
    EXPECT_TRUE(PathExists(folder + name, false));
    ::DeleteFileW(ApiPath(folder + name).c_str());
    for (; folder.size() > tree.RootText().size(); folder.erase(folder.rfind('\\', folder.size() - 2) + 1))
        ::RemoveDirectoryW(ApiPath(folder).c_str());
}
