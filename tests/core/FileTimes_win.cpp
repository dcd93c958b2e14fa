#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/FileTimes.h"
#include "search/DirectoryListing_win.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

FILETIME ToFileTime(std::uint64_t count) {
    return FILETIME{static_cast<DWORD>(count), static_cast<DWORD>(count >> 32)};
}

TEST(FileTimesWin, KnownTimesReadBackInUtc) {
    test::TempTree tree;
    tree.File("photo.jpg", "x");
    const std::wstring path = ApiPath(tree.Text("photo.jpg"));
    {
        const HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const FILETIME created = ToFileTime(129067775400000000);   // 2009-12-31 23:59:00
        const FILETIME accessed = ToFileTime(129071485897500000 + 10'000'000ull * 3600);  // 08:03:09.750
        const FILETIME modified = ToFileTime(129071485897500000);  // 2010-01-05 07:03:09.750
        ASSERT_TRUE(::SetFileTime(file, &created, &accessed, &modified));
        ::CloseHandle(file);
    }
    std::optional<DateTime> created;
    DateTime accessed, modified;
    ASSERT_TRUE(GetFileTimes(tree.Text("photo.jpg"), created, accessed, modified));
    EXPECT_EQ(modified, (DateTime{2010, 1, 5, 7, 3, 9}));
    EXPECT_EQ(accessed, (DateTime{2010, 1, 5, 8, 3, 9}));
    ASSERT_TRUE(created.has_value());  // Windows keeps a creation time for every file
}

TEST(FileTimesWin, FileHeldOpenWithoutSharingStillGivesItsTimes) {
    test::TempTree tree;
    tree.File("photo.jpg", "x");
    const HANDLE held = ::CreateFileW(ApiPath(tree.Text("photo.jpg")).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::optional<DateTime> created;
    DateTime accessed, modified;
    EXPECT_TRUE(GetFileTimes(tree.Text("photo.jpg"), created, accessed, modified));
    ::CloseHandle(held);
}

TEST(FileTimesWin, LongPath) {
    test::TempTree tree;
    std::string folder = tree.RootText();
    while (folder.size() < 300) {
        folder += std::string(50, 'f') + "\\";
        ASSERT_TRUE(::CreateDirectoryW(ApiPath(folder).c_str(), nullptr));
    }
    const std::string path = folder + "n12345_67[1].jpg";
    const HANDLE file = ::CreateFileW(ApiPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    std::optional<DateTime> created;
    DateTime accessed, modified;
    EXPECT_TRUE(GetFileTimes(path, created, accessed, modified));
    EXPECT_FALSE(GetFileTimes(folder, created, accessed, modified));
    ::DeleteFileW(ApiPath(path).c_str());
    while (folder.size() > tree.RootText().size()) {
        ::RemoveDirectoryW(ApiPath(folder).c_str());
        folder.pop_back();
        folder.erase(folder.rfind('\\') + 1);
    }
}

}  // namespace
}  // namespace snapsift
