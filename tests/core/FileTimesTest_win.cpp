#include <gtest/gtest.h>

#include "LongPath_win.h"
#include "platform/FileTimes.h"

namespace snapsift {

// Held open without sharing, as a browser holds its cache files.
TEST(FileTimesWin, AFileHeldOpenPast260CharactersGivesItsTimesInUtc) {
    test::TempTree tree;
    const test::LongPathFile file(tree);
    const HANDLE handle = ::CreateFileW(ApiPath(file.path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, 0);
    const std::uint64_t modifiedAt = 129071485897500000, accessedAt = modifiedAt + 10'000'000ull * 3600;
    const FILETIME times[2] = {{static_cast<DWORD>(accessedAt), static_cast<DWORD>(accessedAt >> 32)},
                               {static_cast<DWORD>(modifiedAt), static_cast<DWORD>(modifiedAt >> 32)}};
    EXPECT_TRUE(::SetFileTime(handle, nullptr, &times[0], &times[1]));
    std::optional<DateTime> created;
    DateTime accessed, modified;
    EXPECT_TRUE(GetFileTimes(file.path, created, accessed, modified));
    ::CloseHandle(handle);
    EXPECT_TRUE(created.has_value());
    EXPECT_EQ(modified, (DateTime{2010, 1, 5, 7, 3, 9}));  // 07:03:09.750
    EXPECT_EQ(accessed, (DateTime{2010, 1, 5, 8, 3, 9}));
}

}  // namespace snapsift
