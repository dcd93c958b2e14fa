#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FolderWalkSupport.h"
#include "search/DirectoryListing_win.h"

// After the project headers: <windows.h> defines a Yield() macro that would rename
// ScanHost::Yield.
#include <windows.h>

namespace snapsift::test {
namespace {

TEST(FolderWalkWin, AddBackslashOnDrivePaths) {
    EXPECT_EQ(AddBackslash("C:\\"), "C:\\");
    EXPECT_EQ(AddBackslash("C:\\Data"), "C:\\Data\\");
    EXPECT_EQ(AddBackslash("C:\\Data\\Cache"), "C:\\Data\\Cache\\");
    EXPECT_EQ(AddBackslash("C:/Data/"), "C:/Data/");
    EXPECT_EQ(AddBackslash("\\\\server\\share"), "\\\\server\\share\\");
}

TEST(FolderWalkWin, ApiPathForms) {
    const std::pair<std::string, std::wstring> literal[] = {
        {"C:\\Data", L"\\\\?\\C:\\Data"},
        {"c:\\Data\\Cache\\", L"\\\\?\\c:\\Data\\Cache\\"},
        {"C:\\", L"\\\\?\\C:\\"},
        {"\\\\server\\share\\Users", L"\\\\?\\UNC\\server\\share\\Users"},
        {"\\\\?\\C:\\Data", L"\\\\?\\C:\\Data"},
        {"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server\\share"},
        {"C:\\name.\\with space \\", L"\\\\?\\C:\\name.\\with space \\"},  // names as listed
        {"C:\\\xD0\x9F\\\xC3\xBC.jpg", L"\\\\?\\C:\\\x041F\\\x00FC.jpg"},
        {"", L""},
    };
    for (const auto& [path, expected] : literal) EXPECT_EQ(ApiPath(path), expected) << path;
    // Forward slashes and "." or ".." parts are resolved by the system before the prefix.
    EXPECT_EQ(ApiPath("C:/Data/Cache"), L"\\\\?\\C:\\Data\\Cache");
    EXPECT_EQ(ApiPath("C:\\Data\\.\\Cache"), L"\\\\?\\C:\\Data\\Cache");
    EXPECT_EQ(ApiPath("C:\\Data\\..\\Cache"), L"\\\\?\\C:\\Cache");
    EXPECT_EQ(ApiPath("\\\\server\\share\\a\\..\\b"), L"\\\\?\\UNC\\server\\share\\b");
}

TEST(FolderWalkWin, TextRoundTrip) {
    const std::string text = "\xD0\x9F\xD0\xBE\xD0\xBB\xD1\x8C \xC3\xBC \xF0\x9F\x93\xB7 n12345_67[1].jpg";
    EXPECT_EQ(WideFromUtf8(text), L"\x041F\x043E\x043B\x044C \x00FC \xD83D\xDCF7 n12345_67[1].jpg");
    EXPECT_EQ(Utf8FromWide(WideFromUtf8(text)), text);
}

TEST(FolderWalkWin, HiddenAndSystemEntriesIncluded) {
    TempTree tree;
    tree.Entries({{"Hidden/n12345_67[1].jpg", ""}, {"n23456_78[1].jpg", ""}});
    const DWORD flags = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(::SetFileAttributesW(ApiPath(tree.Text("Hidden")).c_str(), flags | FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_TRUE(::SetFileAttributesW(ApiPath(tree.Text("n23456_78[1].jpg")).c_str(), flags));
    ASSERT_TRUE(::SetFileAttributesW(ApiPath(tree.Text("Hidden/n12345_67[1].jpg")).c_str(), flags));
    EXPECT_TRUE(PathExists(tree.Text("n23456_78[1].jpg"), false));
    EXPECT_TRUE(PathExists(tree.Text("Hidden"), true));
    WalkRun run;
    run.walk.SearchFolderTree(tree.RootText());
    EXPECT_EQ(run.Recognised(), (std::vector<std::string>{"23456", "12345"}));
    for (const char* name : {"n23456_78[1].jpg", "Hidden/n12345_67[1].jpg"})
        ::SetFileAttributesW(ApiPath(tree.Text(name)).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Makes a chain of folders whose full path passes 260 characters, with a file at its end,
// through the \\?\ form. Returns the deepest folder's text, ending in the separator.
std::string MakeLongChain(const TempTree& tree, const std::string& fileName) {
    std::string folder = tree.RootText();
    for (int i = 0; i < 6; ++i) {
        folder += std::string(60, static_cast<char>('a' + i)) + "\\";
        if (!::CreateDirectoryW(ApiPath(folder).c_str(), nullptr)) return {};
    }
    const HANDLE file = ::CreateFileW(ApiPath(folder + fileName).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    ::CloseHandle(file);
    return folder;
}

void RemoveLongChain(const TempTree& tree, std::string folder, const std::string& fileName) {
    ::DeleteFileW(ApiPath(folder + fileName).c_str());
    while (folder.size() > tree.RootText().size()) {
        ::RemoveDirectoryW(ApiPath(folder).c_str());
        folder.pop_back();
        folder.erase(folder.rfind('\\') + 1);
    }
}

TEST(FolderWalkWin, PathsLongerThan260Characters) {
    TempTree tree;
    const std::string name = "n12345_67[1].jpg";
    const std::string folder = MakeLongChain(tree, name);
    ASSERT_FALSE(folder.empty());
    ASSERT_GT(folder.size() + name.size(), 260u);
    WalkRun run;
    run.walk.SearchFolderTree(tree.RootText());
    EXPECT_EQ(run.host.shownPaths, (std::vector<std::string>{folder + name}));
    EXPECT_EQ(run.Recognised(), (std::vector<std::string>{"12345"}));
    WalkRun single;
    single.walk.SearchFolder(folder.substr(0, folder.size() - 1));
    EXPECT_EQ(single.host.shownPaths, (std::vector<std::string>{folder + name}));
    EXPECT_TRUE(PathExists(folder + name, false));
    EXPECT_TRUE(PathExists(folder, true));
    EXPECT_FALSE(PathExists(folder, false));
    RemoveLongChain(tree, folder, name);
}

TEST(FolderWalkWin, KindOfListedEntries) {
    constexpr unsigned long kCloud = 0x9000001AUL;  // IO_REPARSE_TAG_CLOUD_1
    struct Case {
        unsigned long attributes, tag;
        EntryKind kind;
    };
    const Case cases[] = {
        {FILE_ATTRIBUTE_ARCHIVE, 0, EntryKind::File},
        {FILE_ATTRIBUTE_NORMAL, 0, EntryKind::File},
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY, 0, EntryKind::File},
        {FILE_ATTRIBUTE_DIRECTORY, 0, EntryKind::Folder},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 0, EntryKind::Folder},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_MOUNT_POINT, EntryKind::Other},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, EntryKind::Other},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, EntryKind::Other},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 0, EntryKind::Other},  // tag not told
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_DEDUP, EntryKind::File},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_WOF, EntryKind::File},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, kCloud, EntryKind::Folder},
        {FILE_ATTRIBUTE_DEVICE, 0, EntryKind::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KindOfEntry(c.attributes, c.tag), c.kind) << std::hex << c.attributes << " " << c.tag;
}

bool IsReparsePoint(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(ApiPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Makes a symbolic link to a folder. False where the system makes none: Wine 8 reports
// success from CreateSymbolicLinkW without making anything, so the link is looked for.
bool MakeFolderLink(const std::string& target, const std::string& at) {
    const DWORD unprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    return ::CreateSymbolicLinkW(ApiPath(at).c_str(), ApiPath(target).c_str(),
                                 SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged) &&
           IsReparsePoint(at);
}

TEST(FolderWalkWin, LinksToFoldersAreNotEntered) {
    TempTree tree;
    tree.Entries({{"Real/n11111_11[1].jpg", ""}, {"Elsewhere/n22222_22[1].jpg", ""}});
    if (!MakeFolderLink(tree.Text("Elsewhere"), tree.Text("Real/LinkedFolder")) ||
        !MakeFolderLink(tree.Text("Real"), tree.Text("Real/Loop")))
        GTEST_SKIP() << "this system makes no symbolic links (Wine 8 does not); KindOfListedEntries covers the rule";
    EXPECT_TRUE(IsLinkOrJunction(tree.Text("Real/LinkedFolder")));
    EXPECT_TRUE(IsLinkOrJunction(tree.Text("Real/LinkedFolder") + "\\"));
    EXPECT_FALSE(IsLinkOrJunction(tree.Text("Real")));
    EXPECT_TRUE(PathExists(tree.Text("Real/LinkedFolder"), true));

    WalkRun run;
    run.walk.SearchFolderTree(tree.Text("Real"));
    EXPECT_EQ(run.host.shownPaths, (std::vector<std::string>{tree.Text("Real") + "\\n11111_11[1].jpg"}));
    // A chosen root is walked even when it is itself a link.
    WalkRun viaLink;
    viaLink.walk.SearchFolderTree(tree.Text("Real/LinkedFolder"));
    EXPECT_EQ(viaLink.host.shownPaths,
              (std::vector<std::string>{tree.Text("Real/LinkedFolder") + "\\n22222_22[1].jpg"}));
}

}  // namespace
}  // namespace snapsift::test
