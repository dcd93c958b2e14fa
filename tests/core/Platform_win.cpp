#include <sys/utime.h>

#include <utility>

#include "Fixtures.h"
#include "platform/EvidenceFile.h"
#include "text/DateTime.h"
#include "platform/LocaleText.h"
#include "platform/WideText.h"
#include "platform/WinHandle.h"  // after the project headers: <windows.h> defines a Yield() macro

namespace snapsift::test {

bool SetFileTimesUtc(const fs::path& path) {
    __utimbuf64 times{kAccessedAt, kModifiedAt};
    return _wutime64(path.c_str(), &times) == 0;
}

std::optional<DateTime> CreatedAt(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    SYSTEMTIME t{};
    if (!GetFileAttributesExW(FromText(path).c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToSystemTime(&data.ftCreationTime, &t))
        return std::nullopt;
    return DateTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

bool UsDateForms() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    return GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0 && std::wstring(name) == L"en-US";
}

TEST(LocaleTextWin, DatesBefore1601InTheUnitedStatesForm) {
    EXPECT_EQ(FormatReportDateTime({1500, 6, 1, 13, 0, 0}), "6/1/1500 1:00:00 PM");
}

// n12345_67[1].jpg more than 260 characters down the tree, below six folders of 60 characters made
// and removed through the long-path form of the API, which the C runtime cannot reach; held open
// without sharing, as a browser holds its cache files.
class LongPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (char c = 'a'; c < 'g'; ++c) {
            folder += std::string(60, c) + "\\";
            ::CreateDirectoryW(ApiPath(folder).c_str(), nullptr);
        }
        path = folder + "n12345_67[1].jpg";
        file = ::CreateFileW(ApiPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
        ::DeleteFileW(ApiPath(path).c_str());
        for (; folder.size() > tree.RootText().size(); folder.erase(folder.rfind('\\', folder.size() - 2) + 1))
            ::RemoveDirectoryW(ApiPath(folder).c_str());
    }
    TempTree tree;
    std::string folder = tree.RootText(), path;  // folder ends in the separator
    HANDLE file = INVALID_HANDLE_VALUE;
};

// Its times in UTC: modified 2010-01-05 07:03:09.750, accessed an hour later.
TEST_F(LongPathTest, BothWalksPathExistsAndTheFileTimesReachTheFile) {
    const std::uint64_t modifiedAt = 129071485897500000, accessedAt = modifiedAt + 10'000'000ull * 3600;
    const FILETIME times[2] = {{static_cast<DWORD>(accessedAt), static_cast<DWORD>(accessedAt >> 32)},
                               {static_cast<DWORD>(modifiedAt), static_cast<DWORD>(modifiedAt >> 32)}};
    ASSERT_TRUE(::SetFileTime(file, nullptr, &times[0], &times[1]));
    WalkRun whole, single;
    whole.walk.SearchFolderTree(tree.RootText());
    single.walk.SearchFolder(folder.substr(0, folder.size() - 1));
    ::CloseHandle(std::exchange(file, INVALID_HANDLE_VALUE));  // the evidence open shares the file for reading
    std::optional<DateTime> created;
    DateTime accessed, modified;
    EvidenceFile evidence;
    EXPECT_TRUE(PathExists(path, false) && evidence.Open(path) && evidence.Times(created, accessed, modified) &&
                created.has_value());
    EXPECT_EQ(std::tuple(whole.candidates, single.host.shownPaths, modified, accessed),
              std::tuple(Paths{path}, Paths{path}, DateTime{2010, 1, 5, 7, 3, 9}, DateTime{2010, 1, 5, 8, 3, 9}));
}

// Held without delete sharing, an open folder can be neither renamed nor removed.
TEST(DirectoryListingWin, AnOpenFolderStaysWhereItIs) {
    TempTree tree;
    tree.Folder("Held");
    DirectoryListing held;
    ASSERT_TRUE(held.OpenRoot(tree.Text("Held") + kSep));
    const std::wstring path = ApiPath(tree.Text("Held"));
    EXPECT_FALSE(::MoveFileW(path.c_str(), ApiPath(tree.Text("Moved")).c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::RemoveDirectoryW(path.c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// "abc", with "def" appended through another handle after the open: the bytes and the times are
// those of the open, and the file is seen to have changed.
TEST(EvidenceFileWin, AFileThatGrowsAfterTheOpenIsReadAsItWas) {
    TempTree tree;
    tree.File("photo.jpg", "abc");
    ASSERT_TRUE(SetFileTimesUtc(tree.Path("photo.jpg")));
    EvidenceFile file;
    ASSERT_TRUE(file.Open(tree.Text("photo.jpg")));
    EXPECT_TRUE(file.UnchangedSinceOpen());
    {
        const WinHandle writer(::CreateFileW(ApiPath(tree.Text("photo.jpg")).c_str(), FILE_APPEND_DATA,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer.Valid() && WriteAll(writer.Get(), "def"));
    }
    std::string bytes;
    char buffer[16];
    for (std::int64_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<std::size_t>(n));
    std::optional<DateTime> created;
    DateTime accessed, modified;
    EXPECT_TRUE(file.Times(created, accessed, modified));
    EXPECT_EQ(bytes, "abc");
    EXPECT_EQ(std::pair(modified, accessed), std::pair(DateTime{2010, 3, 15, 14, 5, 9}, DateTime{2009, 6, 1, 8, 0, 0}));
    EXPECT_FALSE(file.UnchangedSinceOpen());
}

}  // namespace snapsift::test
