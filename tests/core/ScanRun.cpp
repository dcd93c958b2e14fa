#include "ScanRunFixture.h"
#include "platform/CodePage.h"

namespace snapsift::test {

static const std::string kSep(1, kSeparator), kOk = ". Click OK to continue.";

static Messages Final(bool aborted, int total) {
    return {{MessageKind::Final, (aborted ? "Operation aborted." : "Operation complete.") +
                                     std::string("\r\n\r\nTotal files found: ") + std::to_string(total)}};
}

// Decoys alone give the four-line report; recognised files, in subfolders too, numbered in the order met.
TEST_F(ScanRunTest, EntriesAndCopiesFollowTheWalk) {
    state.FilesFound = 12, state.AbortRequested = true;
    tree.Entries({{"src/photo.jpg", "x"}, {"src/IMG_0001.JPG", "x"}, {"src/Cache/N12345_67[1].jpg", "x"},
                  {"src/Cache/AB12CD34/n1234567_890_123.jpg", "x"}});
    const ScanResult empty = RunAndCheck({});
    EXPECT_EQ(empty.runFolder, AddBackslash(tree.Text("out")) + "Snapsift - " + OutputFolderStamp(kNow) + kSep);
    EXPECT_EQ(std::pair(host.messages, host.looks), std::pair(Final(false, 0), std::vector<bool>{true, false}));
    EXPECT_TRUE(state.FilesFound == 0 && !state.AbortRequested && state.OutputFolder == tree.Text("out") + kSep);
    const std::vector<Row> rows = {AddFile("src/n1234567_890_123[1].jpg", "1234567", kAbc),
                                   AddFile("src/Cache/AB12CD34/1111_222_0333_444_555_n[1].jpg", "0333", kA),
                                   AddFile("src/Cache/AB12CD34/a12345^6_7[1].jpg", "12345^6", kAlphabet)};
    const struct { bool photos, subfolders; std::size_t abortAt, shown; } cases[] = {
        {true, true, 0, 7}, {false, true, 0, 7}, {true, false, 0, 3}, {true, true, 2, 2}};
    for (int second = 10; const auto& c : cases) {
        SCOPED_TRACE(second);
        ClearHost();
        host.includePhotos = c.photos, host.searchSubfolders = c.subfolders, host.abortAtFile = c.abortAt;
        environment.localNow = [s = second++] { return DateTime{2010, 3, 5, 9, 7, s}; };
        const ScanResult result = RunAndCheck(rows);
        EXPECT_EQ(result.outcome, c.abortAt ? ScanOutcome::Aborted : ScanOutcome::Completed);
        EXPECT_EQ(host.shownPaths.size(), c.shown);
        EXPECT_EQ(host.messages, Final(c.abortAt != 0, state.FilesFound));
    }
}

// "é€" and "漢字": single bytes of the code page, and references.
TEST_F(ScanRunTest, NonAsciiNamesAreWrittenInTheReportsCodePage) {
    if (ReportCodePageNumber() != 1252) GTEST_SKIP() << "code page " << ReportCodePageNumber();
    Row row = AddFile("src/\xC3\xA9\xE2\x82\xAC/1111_222_333_444_555_\xE6\xBC\xA2\xE5\xAD\x97" "5_n[1].jpg", "333");
    row.copySource = "1111_222_333_444_555_&#28450;&#23383;5_n[1]";
    row.nameText = row.copySource + ".jpg";
    row.pathText = tree.Text("src") + kSep + "\xE9\x80" + kSep + row.nameText;
    RunAndCheck({row});
}

// A file gone before it is read; then the output folder gone, which fails each copy and entry.
TEST_F(ScanRunTest, FilesAndOutputFolderThatVanishDuringTheScanBringMessages) {
    Row row = AddFile("src/n12345_67[9].jpg", "12345");
    row.unreadable = true;
    host.onYield = [&](std::size_t) { fs::remove(FromText(row.path)); };
    RunAndCheck({row});
    // ENOENT, ERROR_FILE_NOT_FOUND
    EXPECT_EQ(host.messages[0].second, "Error copying file: " + row.path + ". Error number: 2" + kOk);
    for (int i = 1; i <= 3; ++i) AddFile("src/n12345_67[" + std::to_string(i) + "].jpg", "1");
    ClearHost();
    environment.localNow = [] { return DateTime{2010, 3, 5, 9, 7, 4}; };
    host.onYield = [this](std::size_t shown) { if (shown == 1) fs::remove_all(FromText(state.OutputFolder)); };
    const ScanResult result = Run();
    // ERROR_PATH_NOT_FOUND, ENOENT
    const std::string error = kSeparator == '\\' ? ". Error number: 3" : ". Error number: 2";
    Messages expected = Final(false, 3);
    for (const std::string& path : host.shownPaths)
        expected.insert(expected.end() - 1, {{MessageKind::FileProblem, "Error copying file: " + path + error + kOk},
                                         {MessageKind::FileProblem,
                                          "Error writing to HTML report for file: " + path + kOk}});
    EXPECT_EQ(host.messages, expected);
    EXPECT_FALSE(fs::exists(FromText(result.runFolder)));
}

TEST_F(ScanRunTest, EachCheckStopsTheRunWithItsMessage) {
    const std::string src = state.SourceFolder, out = state.OutputFolder,
                      internal = "Internal calculation error!! Can not continue.";
    const struct { decltype(ScanEnvironment::selfTestDigest) digest; std::string source, output, message; } cases[] = {
        {[](std::string_view) { return std::string("D174AB98D277D9F5A5611C2C9F419D9E"); }, "", "", internal},
        {[](std::string_view) -> std::string { throw 0; }, src, out, internal},
        {nullptr, "", out, "Please choose a folder to search."},
        {nullptr, src, "", "Please choose an output folder."},
        {nullptr, src, AddBackslash(tree.Text("out/missing")), "Error creating output folder."},
        {nullptr, src, out, "Error creating output folder."},  // a second run in the same second
    };
    AddFile("src/n12345_67[1].jpg", "12345");
    Run();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ClearHost();
        state = ScanState{c.source, c.output, false, 7};
        environment.selfTestDigest = c.digest;
        EXPECT_EQ(Run().outcome, ScanOutcome::Stopped);
        EXPECT_EQ(host.messages, (Messages{{MessageKind::Stop, c.message}}));
        EXPECT_TRUE(host.looks.empty() && host.shownPaths.empty());
        EXPECT_TRUE(state.OutputFolder == c.output && state.FilesFound == 7);
        EXPECT_EQ(std::distance(fs::directory_iterator(tree.Path("out")), {}), 1);
    }
}

TEST_F(ScanRunTest, ProfileModeSearchesUsersThenDocumentsAndSettingsOnly) {
    host.profileMode = true, host.driveRoot = tree.Text("drive"), state.SourceFolder.clear();
    const Row user = AddFile("drive/Users/alice/AppData/n12345_67[1].jpg", "12345");
    const Row old = AddFile("drive/Documents and Settings/bob/n12345_67[2].jpg", "12345");
    AddFile("drive/n12345_67[3].jpg", "12345");
    AddFile("drive/Program Files/n12345_67[4].jpg", "12345");
    Run();
    EXPECT_EQ(host.shownPaths, (std::vector<std::string>{user.path, old.path}));
    fs::remove_all(tree.Path("drive/Documents and Settings"));
    ClearHost();
    host.driveRoot += kSep;
    environment.localNow = [] { return DateTime{2010, 3, 5, 9, 7, 4}; };
    RunAndCheck({user});
}

}  // namespace snapsift::test
