#include <sys/utime.h>

#include "Fixtures.h"
#include "platform/FileTimes.h"
#include "platform/LocaleText.h"
#include "platform/WideText.h"

#include <windows.h>  // after the project headers: it defines a Yield() macro

namespace snapsift::test {

bool SetFileTimesUtc(const fs::path& path) {
    __utimbuf64 times{kAccessedAt, kModifiedAt};
    return _wutime64(path.c_str(), &times) == 0;
}

std::string CreatedLine(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    SYSTEMTIME t{};
    if (!GetFileAttributesExW(FromText(path).c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToSystemTime(&data.ftCreationTime, &t))
        return "no created time";
    return UsCreatedLine(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
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
        ::CloseHandle(file);
        ::DeleteFileW(ApiPath(path).c_str());
        for (; folder.size() > tree.RootText().size(); folder.erase(folder.rfind('\\', folder.size() - 2) + 1))
            ::RemoveDirectoryW(ApiPath(folder).c_str());
    }
    TempTree tree;
    std::string folder = tree.RootText(), path;  // folder ends in the separator
    HANDLE file = INVALID_HANDLE_VALUE;
};

TEST_F(LongPathTest, BothWalksAndPathExistsFindTheFile) {
    WalkRun whole, single;
    whole.walk.SearchFolderTree(tree.RootText());
    single.walk.SearchFolder(folder.substr(0, folder.size() - 1));
    EXPECT_EQ(whole.candidates, Paths{path});
    EXPECT_EQ(single.host.shownPaths, Paths{path});
    EXPECT_TRUE(PathExists(path, false));
}

TEST_F(LongPathTest, TheFileGivesItsTimesInUtc) {
    const std::uint64_t modifiedAt = 129071485897500000, accessedAt = modifiedAt + 10'000'000ull * 3600;
    const FILETIME times[2] = {{static_cast<DWORD>(accessedAt), static_cast<DWORD>(accessedAt >> 32)},
                               {static_cast<DWORD>(modifiedAt), static_cast<DWORD>(modifiedAt >> 32)}};
    ASSERT_TRUE(::SetFileTime(file, nullptr, &times[0], &times[1]));
    std::optional<DateTime> created;
    DateTime accessed, modified;
    EXPECT_TRUE(GetFileTimes(path, created, accessed, modified));
    EXPECT_TRUE(created.has_value());
    EXPECT_EQ(modified, (DateTime{2010, 1, 5, 7, 3, 9}));  // 07:03:09.750
    EXPECT_EQ(accessed, (DateTime{2010, 1, 5, 8, 3, 9}));
}

}  // namespace snapsift::test
