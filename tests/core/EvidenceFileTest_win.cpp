#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "hash/MD5.h"
#include "platform/EvidenceFile.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

constexpr const char* kAbc = "900150983CD24FB0D6963F7D28E17F72";

class OpenHandle {
public:
    OpenHandle(const std::filesystem::path& path, DWORD access, DWORD share)
        : handle_(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~OpenHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    OpenHandle(const OpenHandle&) = delete;
    OpenHandle& operator=(const OpenHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

TEST(EvidenceFileWin, DevicesFailAtOnce) {
    MD5 md5;
    EXPECT_EQ(md5.DigestFileToHexStr("NUL"), MD5::kFileFailureText);
    EvidenceFile file;
    EXPECT_FALSE(file.Open("NUL"));
    EXPECT_NE(file.LastError(), 0);
}

TEST(EvidenceFileWin, SharingWithOtherHandles) {
    test::TempTree tree;
    tree.File("photo.jpg", "abc");
    MD5 md5;
    {
        // Another program writing the file still lets us read it.
        const OpenHandle writer(tree.Path("photo.jpg"), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_NE(writer.Get(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("photo.jpg")), kAbc);
    }
    {
        // One that denies all sharing locks us out: the failure text, not a hang.
        const OpenHandle locker(tree.Path("photo.jpg"), GENERIC_READ, 0);
        ASSERT_NE(locker.Get(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("photo.jpg")), MD5::kFileFailureText);
    }
    // A read-only file is read as any other.
    ASSERT_TRUE(SetFileAttributesW(tree.Path("photo.jpg").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text("photo.jpg")), kAbc);
    SetFileAttributesW(tree.Path("photo.jpg").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(EvidenceFileWin, LongPaths) {
    test::TempTree tree;
    std::string relative;
    for (int i = 0; i < 8; ++i) relative += std::string(40, static_cast<char>('a' + i)) + "/";
    relative += "n1234_5678[1].jpg";
    const std::wstring wide = L"\\\\?\\" + tree.Path(relative).wstring();
    ASSERT_GT(wide.size(), 300u);
    // Made through the prefixed form, which has no length limit.
    for (std::size_t at = wide.find(L'\\', 7); at != std::wstring::npos; at = wide.find(L'\\', at + 1))
        CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "abc", 3, &written, nullptr);
    CloseHandle(file);

    MD5 md5;
    EXPECT_EQ(md5.DigestFileToHexStr(tree.Text(relative)), kAbc);
    // The same path written with "/" and a "." step.
    std::string forward = tree.Text(relative);
    for (char& c : forward)
        if (c == '\\') c = '/';
    forward.insert(forward.rfind('/'), "/.");
    EXPECT_EQ(md5.DigestFileToHexStr(forward), kAbc);
    const std::string copy = tree.Text(relative.substr(0, relative.rfind('/')) + "/copy-1.jpg");
    EXPECT_EQ(CopyEvidenceFile(tree.Text(relative), copy), 0);
    EXPECT_EQ(md5.DigestFileToHexStr(copy), kAbc);
}

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool Same(const FILETIME& x, const FILETIME& y) {
    return x.dwLowDateTime == y.dwLowDateTime && x.dwHighDateTime == y.dwHighDateTime;
}

TEST(EvidenceFileWin, ReadingLeavesTheFileTimes) {
    test::TempTree tree;
    tree.File("photo.jpg", std::string(5000, 'p'));
    tree.Folder("out");
    FILETIME created, accessed, written;
    {
        const OpenHandle setter(tree.Path("photo.jpg"), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ);
        ASSERT_NE(setter.Get(), INVALID_HANDLE_VALUE);
        FILETIME old;
        old.dwLowDateTime = 0;
        old.dwHighDateTime = 0x01C00000;  // 1999
        ASSERT_TRUE(SetFileTime(setter.Get(), nullptr, &old, nullptr));
        ASSERT_TRUE(GetFileTime(setter.Get(), &created, &accessed, &written));
    }
    MD5 md5;
    EXPECT_NE(md5.DigestFileToHexStr(tree.Text("photo.jpg")), MD5::kFileFailureText);
    EXPECT_EQ(CopyEvidenceFile(tree.Text("photo.jpg"), tree.Text("out/photo-1.jpg")), 0);

    const OpenHandle reader(tree.Path("photo.jpg"), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE);
    FILETIME createdAfter, accessedAfter, writtenAfter;
    ASSERT_TRUE(GetFileTime(reader.Get(), &createdAfter, &accessedAfter, &writtenAfter));
    EXPECT_TRUE(Same(createdAfter, created));
    EXPECT_TRUE(Same(writtenAfter, written));
    // Wine reads through the host's kernel, which sets the access time whatever the handle asked.
    if (RunningUnderWine()) GTEST_SKIP() << "access time is the host's under Wine";
    EXPECT_TRUE(Same(accessedAfter, accessed));
}

}  // namespace
}  // namespace snapsift
