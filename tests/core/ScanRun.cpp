#include "ScanRunFixture.h"
#include "platform/CodePage.h"

namespace snapsift::test {

static const std::string kOk = ". Click OK to continue.";
static Messages Final(const std::string& outcome, int total) {
    return {{MessageKind::Final, "Operation " + outcome + ".\r\n\r\nTotal files found: " + std::to_string(total)}};
}

TEST_F(ScanRunTest, LookAlikesAloneGiveTheFourLineReportInAStampedFolder) {
    tree.Entries({{"src/photo.jpg", "x"}, {"src/IMG_0001.JPG", "x"}, {"src/Cache/N12345_67[1].jpg", "x"},
                  {"src/Cache/AB12CD34/n1234567_890_123.jpg", "x"}});
    EXPECT_EQ(RunAndCheck({}).runFolder, tree.Text("out") + kSep + "Snapsift - Mar 05, 2010 - 090703" + kSep);
    EXPECT_EQ(host.messages, Final("complete", 0));
}

TEST_F(ScanRunTest, ARunStartsAfreshAndEndsIdleWithTheChosenOutputFolder) {
    state.FilesFound = 12;
    state.AbortRequested = true;
    AddFile("src/n12345_67[1].jpg", "12345");
    Run();
    EXPECT_EQ(state.FilesFound, 1);
    EXPECT_FALSE(state.AbortRequested);
    EXPECT_EQ(state.OutputFolder, tree.Text("out") + kSep);
    EXPECT_EQ(host.looks, (std::vector<bool>{true, false}));
}

// Three photos and four look-alikes, in the source folder and two levels below it.
TEST_F(ScanRunTest, EntriesAndCopiesFollowTheWalk) {
    tree.Entries({{"src/photo.jpg", "x"}, {"src/IMG_0001.JPG", "x"}, {"src/Cache/N12345_67[1].jpg", "x"},
                  {"src/Cache/AB12CD34/n1234567_890_123.jpg", "x"}});
    const std::vector<Row> rows = {AddFile("src/n1234567_890_123[1].jpg", "1234567", kAbc),
                                   AddFile("src/Cache/AB12CD34/1111_222_0333_444_555_n[1].jpg", "0333", kA),
                                   AddFile("src/Cache/AB12CD34/a12345^6_7[1].jpg", "12345^6", kAlphabet)};
    const struct { const char* name; bool photos, subfolders; std::size_t abortAt, shown; } cases[] = {
        {"photos, subfolders", true, true, 0, 7}, {"no photos", false, true, 0, 7},
        {"no subfolders", true, false, 0, 3}, {"aborted at the second file", true, true, 2, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NextRun();
        host.includePhotos = c.photos;
        host.searchSubfolders = c.subfolders;
        host.abortAtFile = c.abortAt;
        RunAndCheck(rows, c.abortAt != 0);
        EXPECT_EQ(host.shownPaths.size(), c.shown);
        EXPECT_EQ(host.messages, Final(c.abortAt != 0 ? "aborted" : "complete", entries));
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

// The copy fails with ENOENT (ERROR_FILE_NOT_FOUND on Windows).
TEST_F(ScanRunTest, AFileGoneBeforeItIsReadHasAnEntryWithoutEvidenceAndACopyMessage) {
    Row row = AddFile("src/n12345_67[9].jpg", "12345");
    row.unreadable = true;
    host.onYield = [&](std::size_t) { fs::remove(FromText(row.path)); };
    RunAndCheck({row});
    const std::string copyMessage = "Error copying file: " + row.path + ". Error number: 2" + kOk;
    EXPECT_EQ(host.messages, (Messages{{MessageKind::FileProblem, copyMessage}, Final("complete", 1).front()}));
}

// Copies fail with ENOENT (ERROR_PATH_NOT_FOUND on Windows).
TEST_F(ScanRunTest, AnOutputFolderGoneFailsEachCopyAndEntryWithAMessage) {
    for (const std::string n : {"1", "2", "3"}) AddFile("src/n12345_67[" + n + "].jpg", "1");
    host.onYield = [this](std::size_t) { fs::remove_all(FromText(state.OutputFolder)); };
    const ScanResult result = Run();
    const std::string error = kSeparator == '\\' ? ". Error number: 3" : ". Error number: 2";
    Messages expected;
    for (const std::string& path : host.shownPaths) {
        expected.emplace_back(MessageKind::FileProblem, "Error copying file: " + path + error + kOk);
        expected.emplace_back(MessageKind::FileProblem, "Error writing to HTML report for file: " + path + kOk);
    }
    expected.push_back(Final("complete", 3).front());
    EXPECT_EQ(host.messages, expected);
    EXPECT_FALSE(fs::exists(FromText(result.runFolder)));
}

// Each stop leaves the window idle, the count and the output folder as they were, and no new folder.
TEST_F(ScanRunTest, EachCheckStopsTheRunWithItsMessage) {
    const std::string src = state.SourceFolder, out = state.OutputFolder, wrong = "D174AB98D277D9F5A5611C2C9F419D9E",
                      internal = "Internal calculation error!! Can not continue.",
                      creating = "Error creating output folder.";
    using Digest = decltype(ScanEnvironment::selfTestDigest);
    const struct { const char* name; Digest digest; std::string source, output, message; } cases[] = {
        {"wrong self-test digest", [&](std::string_view) { return wrong; }, "", "", internal},
        {"self-test throws", [](std::string_view) -> std::string { throw 0; }, src, out, internal},
        {"no source", nullptr, "", out, "Please choose a folder to search."},
        {"no output", nullptr, src, "", "Please choose an output folder."},
        {"output missing", nullptr, src, AddBackslash(tree.Text("out/missing")), creating},
        {"same second as the last run", nullptr, src, out, creating}};
    AddFile("src/n12345_67[1].jpg", "12345");
    Run();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearHost();
        state = ScanState{c.source, c.output, false, 7};
        environment.selfTestDigest = c.digest;
        EXPECT_EQ(Run().outcome, ScanOutcome::Stopped);
        EXPECT_EQ(host.messages, (Messages{{MessageKind::Stop, c.message}}));
        EXPECT_TRUE(host.looks.empty() && host.shownPaths.empty());
        EXPECT_EQ(state.OutputFolder, c.output);
        EXPECT_EQ(state.FilesFound, 7);
        EXPECT_EQ(std::distance(fs::directory_iterator(tree.Path("out")), {}), 1);
    }
}

// Both profile roots; then Users alone, with the drive given with a trailing separator.
TEST_F(ScanRunTest, ProfileModeSearchesUsersThenDocumentsAndSettingsOnly) {
    host.profileMode = true;
    host.driveRoot = tree.Text("drive");
    state.SourceFolder.clear();
    const Row user = AddFile("drive/Users/alice/AppData/n12345_67[1].jpg", "12345");
    const Row old = AddFile("drive/Documents and Settings/bob/n12345_67[2].jpg", "12345");
    AddFile("drive/n12345_67[3].jpg", "12345");
    AddFile("drive/Program Files/n12345_67[4].jpg", "12345");
    RunAndCheck({user, old});
    EXPECT_EQ(host.shownPaths, (std::vector<std::string>{user.path, old.path}));
    fs::remove_all(tree.Path("drive/Documents and Settings"));
    NextRun();
    host.driveRoot += kSep;
    RunAndCheck({user});
    EXPECT_EQ(host.shownPaths, std::vector<std::string>{user.path});
}

// The examples' drive, copied with its generator's file times: six photos, none of the look-alikes.
TEST_F(ScanRunTest, TheSampleDrivesProfileFoldersGiveItsSixPhotos) {
    const fs::path sample = fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "sample-drive";
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(sample)) {
        const fs::path copy = tree.Path("drive") / entry.path().lexically_relative(sample);
        if (entry.is_directory())
            fs::create_directories(copy);
        else
            fs::copy_file(entry.path(), copy);
    }
    host.profileMode = true;
    host.driveRoot = tree.Text("drive");
    const auto photo = [&](const std::string& relative, const std::string& userId, const std::string& md5) {
        return RowOf(relative, userId, {ReadBytes(tree.Path(relative)), md5});
    };
    const std::string alice = "drive/Users/alice/AppData/Local/Microsoft/Windows/Temporary Internet Files/Content.IE5/",
                      bob = "drive/Users/bob/", carol = "drive/Documents and Settings/carol/Local Settings/"
                                                        "Temporary Internet Files/Content.IE5/ZX81AB12/";
    RunAndCheck({photo(alice + "AB12CD34/n1234567_890_123[1].jpg", "1234567", "1cb783c034836a85e946d477e67c595c"),
                 photo(alice + "QX9Z0W12/1111_222_3456789_444_555_n[1].jpg", "3456789",
                       "cd7a7fc74c1d6ca0d91756c5af1d5052"),
                 photo(bob + "AppData/Local/Microsoft/Windows/INetCache/IE/7HJK2LMN/a100000234567_5_6[2].jpg",
                       "100000234567", "ac4c7b5f2e1fca9d27fc42bc69a8226a"),
                 photo(bob + "AppData/Local/Microsoft/Windows/INetCache/IE/7HJK2LMN/a12345^6_7[1].jpg", "12345^6",
                       "ca18731268355518e9195957edbdacf1"),
                 photo(bob + "Downloads/0001_222_0333_444_555_n[1].jpg", "0333", "a3e7e9cd85ce9da579bce14ecdf02e2e"),
                 photo(carol + "n7654321_1_2[1].jpg", "7654321", "ac7687b7e7455a06d324d33b7e7b28fc")});
    EXPECT_EQ(entries, 6);
}

}  // namespace snapsift::test
