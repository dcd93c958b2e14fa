#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "ScanRunFixture.h"
#include "app/ScanRun.h"
#include "platform/CodePage.h"
#include "platform/LocaleText.h"
#include "search/FolderWalk.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

namespace fs = std::filesystem;
using test::AbortedTail;
using test::CompletedTail;
using test::EntryFor;
using test::EntryLines;
using test::kHeaderLine;
using test::ReadBytes;
using test::RecordingHost;
using test::TempTree;

const DateTime kNow{2010, 3, 5, 9, 7, 3};
const DateTime kAccessed{2009, 6, 1, 8, 0, 0};
const DateTime kModified{2010, 3, 15, 14, 5, 9};
const std::string kSep(1, kSeparator);

fs::path FromText(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

// A recording host that also notes, for every message, whether the running look was on.
class OrderedHost : public RecordingHost {
public:
    using RecordingHost::RecordingHost;
    std::vector<bool> runningAtMessage;
    void ShowMessage(std::string_view text, MessageKind kind) override {
        runningAtMessage.push_back(!looks.empty() && looks.back());
        RecordingHost::ShowMessage(text, kind);
    }
};

std::string Final(const char* outcome, int total) {
    return std::string(outcome) + "\r\n\r\nTotal files found: " + std::to_string(total);
}

class ScanRunTest : public ::testing::Test {
public:
    void SetUp() override {
        tree.Folder("src");
        tree.Folder("out");
        state.SourceFolder = AddBackslash(tree.Text("src"));
        state.OutputFolder = AddBackslash(tree.Text("out"));
        environment.localNow = [] { return kNow; };
    }
    ScanResult Run() { return RunScan(state, host, environment); }
    std::string ExpectedRunFolder() const {
        return AddBackslash(tree.Text("out")) + "Snapsift - " + OutputFolderStamp(kNow) + kSep;
    }
    static std::string Report(const ScanResult& result) { return ReadBytes(FromText(result.reportPath)); }
    // A recognised file with its own bytes and fixed times.
    std::string AddFile(const std::string& relative, const std::string& contents) {
        tree.File(relative, contents);
        EXPECT_TRUE(test::SetFileTimesUtc(tree.Path(relative), kAccessed, kModified));
        return tree.Text(relative);
    }
    std::vector<std::string> RunFolderNames(const ScanResult& result) const {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(FromText(result.runFolder)))
            names.push_back(test::ToText(item.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> OutNames() const {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(tree.Path("out")))
            names.push_back(test::ToText(item.path().filename()));
        return names;
    }

    TempTree tree;
    ScanState state;
    OrderedHost host{state};
    ScanEnvironment environment;
};

TEST_F(ScanRunTest, ARunThatFindsNothingWritesTheFourLineReport) {
    state.FilesFound = 12;
    state.AbortRequested = true;
    tree.Entries({{"src/photo.jpg", "x"}, {"src/IMG_0001.JPG", "x"}, {"src/a.jpeg", "x"}, {"src/N12345_67[1].jpg", "x"}});
    const ScanResult result = Run();
    EXPECT_EQ(result.outcome, ScanOutcome::Completed);
    EXPECT_EQ(result.runFolder, ExpectedRunFolder());
    EXPECT_EQ(result.reportPath, ExpectedRunFolder() + "Quorvia JPG Files.htm");
    EXPECT_EQ(Report(result), kHeaderLine + CompletedTail(0));
    const std::vector<std::pair<MessageKind, std::string>> messages = {
        {MessageKind::Final, Final("Operation complete.", 0)}};
    EXPECT_EQ(host.messages, messages);
    EXPECT_EQ(host.runningAtMessage, std::vector<bool>{true});
    EXPECT_EQ(host.looks, (std::vector<bool>{true, false}));
    EXPECT_EQ(host.shownPaths.size(), 4u);
    EXPECT_EQ(state.FilesFound, 0);
    EXPECT_FALSE(state.AbortRequested);
    EXPECT_EQ(state.OutputFolder, AddBackslash(tree.Text("out")));
    EXPECT_EQ(RunFolderNames(result), std::vector<std::string>{"Quorvia JPG Files.htm"});
}

// Files met in the walk's order; every recognised one gets the next number.
struct Planted {
    const char* relative;
    const char* name;
    const char* userId;
    const char* copy;  // the copy's name without its number
};
const Planted kPlanted[] = {
    {"src/n1234567_890_123[1].jpg", "n1234567_890_123[1].jpg", "1234567", "n1234567_890_123[1]"},
    {"src/Cache/AB12CD34/1111_222_0333_444_555_n[1].jpg", "1111_222_0333_444_555_n[1].jpg", "0333",
     "1111_222_0333_444_555_n[1]"},
    {"src/Cache/a12345^6_7[1].jpg", "a12345^6_7[1].jpg", "12345^6", "a12345^6_7[1]"},
    {"src/Cache/AB12CD34/n7654321_1_2[3].jpg", "n7654321_1_2[3].jpg", "7654321", "n7654321_1_2[3]"},
};

class ScanRunEntries : public ScanRunTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ScanRunEntries, EntriesFollowTheWalkAndCopiesMatchTheirSources) {
    host.includePhotos = GetParam();
    std::set<std::string> recognised;
    for (const auto& file : kPlanted) {
        AddFile(file.relative, std::string("contents of ") + file.name);
        recognised.insert(tree.Text(file.relative));
    }
    tree.Entries({{"src/photo.jpg", "decoy"}, {"src/Cache/IMG_0001.JPG", "decoy"},
                  {"src/Cache/AB12CD34/n1234567_890_123.jpg", "decoy"}, {"src/Cache/x.jpeg", "decoy"}});
    const ScanResult result = Run();
    ASSERT_EQ(result.outcome, ScanOutcome::Completed);

    std::string expected = kHeaderLine;
    std::vector<std::string> expectedNames{"Quorvia JPG Files.htm"};
    int number = 0;
    for (const std::string& shown : host.shownPaths) {
        if (!recognised.count(shown)) continue;
        const Planted* file = nullptr;
        for (const auto& p : kPlanted)
            if (tree.Text(p.relative) == shown) file = &p;
        ASSERT_NE(file, nullptr);
        ++number;
        const std::string copy = std::string(file->copy) + "-" + std::to_string(number) + ".jpg";
        auto entry = EntryFor(shown, file->name, file->userId, "", kAccessed, kModified);
        entry.digest = "";
        if (host.includePhotos) {
            entry.imageSource = copy;
            expectedNames.push_back(copy);
            EXPECT_EQ(ReadBytes(FromText(result.runFolder + copy)), std::string("contents of ") + file->name);
        }
        expected += EntryLines(entry);
    }
    EXPECT_EQ(number, 4);
    expected += CompletedTail(4);

    // The digests are checked apart, so that the rest compares byte for byte.
    std::string report = Report(result);
    const std::string marker = "<b>MD5:</b> ";
    for (std::size_t at = report.find(marker); at != std::string::npos; at = report.find(marker, at + 1)) {
        const std::string digest = report.substr(at + marker.size(), 32);
        EXPECT_EQ(digest.find_first_not_of("0123456789abcdef"), std::string::npos) << digest;
        report.erase(at + marker.size(), 32);
    }
    EXPECT_EQ(report, expected);
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(RunFolderNames(result), expectedNames);
    EXPECT_EQ(host.messages.back(), std::make_pair(MessageKind::Final, Final("Operation complete.", 4)));
}

INSTANTIATE_TEST_SUITE_P(Photos, ScanRunEntries, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "WithPhotos" : "WithoutPhotos"; });

TEST_F(ScanRunTest, DigestsAreThoseOfTheFilesContents) {
    AddFile("src/n12345_67[1].jpg", "abc");
    AddFile("src/n12345_67[2].jpg", "");
    const ScanResult result = Run();
    const std::string report = Report(result);
    EXPECT_NE(report.find("<b>MD5:</b> 900150983cd24fb0d6963f7d28e17f72<br>----<br>\r\n"), std::string::npos);
    EXPECT_NE(report.find("<b>MD5:</b> d41d8cd98f00b204e9800998ecf8427e<br>----<br>\r\n"), std::string::npos);
}

TEST_F(ScanRunTest, WithoutSubfoldersOnlyTheRootsOwnFilesAreExamined) {
    host.searchSubfolders = false;
    const std::string top = AddFile("src/n12345_67[1].jpg", "abc");
    AddFile("src/sub/n12345_67[2].jpg", "abc");
    const ScanResult result = Run();
    auto entry = EntryFor(top, "n12345_67[1].jpg", "12345", "900150983cd24fb0d6963f7d28e17f72", kAccessed, kModified);
    entry.imageSource = "n12345_67[1]-1.jpg";
    EXPECT_EQ(Report(result), kHeaderLine + EntryLines(entry) + CompletedTail(1));
}

TEST_F(ScanRunTest, AnAbortedRunEndsWithTheAbortedTailAndCompleteEntries) {
    for (int i = 1; i <= 4; ++i) AddFile("src/n12345_67[" + std::to_string(i) + "].jpg", "abc");
    host.abortAtFile = 2;
    const ScanResult result = Run();
    EXPECT_EQ(result.outcome, ScanOutcome::Aborted);
    EXPECT_TRUE(state.AbortRequested);
    EXPECT_EQ(state.FilesFound, 2);
    std::string expected = kHeaderLine;
    for (int n = 1; n <= 2; ++n) {
        const std::string& shown = host.shownPaths[n - 1];
        const std::string name = shown.substr(shown.rfind(kSeparator) + 1);
        auto entry = EntryFor(shown, name, "12345", "900150983cd24fb0d6963f7d28e17f72", kAccessed, kModified);
        entry.imageSource = name.substr(0, name.size() - 4) + "-" + std::to_string(n) + ".jpg";
        expected += EntryLines(entry);
    }
    EXPECT_EQ(Report(result), expected + AbortedTail(2));
    EXPECT_EQ(host.messages, (std::vector<std::pair<MessageKind, std::string>>{
                                 {MessageKind::Final, Final("Operation aborted.", 2)}}));
    EXPECT_EQ(host.runningAtMessage, std::vector<bool>{true});
    EXPECT_EQ(host.looks, (std::vector<bool>{true, false}));
}

TEST_F(ScanRunTest, ASecondRunInTheSameSecondStops) {
    AddFile("src/n12345_67[1].jpg", "abc");
    const ScanResult first = Run();
    ASSERT_EQ(first.outcome, ScanOutcome::Completed);
    const std::string firstReport = Report(first);
    host.messages.clear();
    host.looks.clear();
    const ScanResult second = Run();
    EXPECT_EQ(second.outcome, ScanOutcome::Stopped);
    EXPECT_EQ(host.messages, (std::vector<std::pair<MessageKind, std::string>>{
                                 {MessageKind::Stop, "Error creating output folder."}}));
    EXPECT_TRUE(host.looks.empty());
    EXPECT_EQ(state.OutputFolder, AddBackslash(tree.Text("out")));
    EXPECT_EQ(Report(first), firstReport);

    environment.localNow = [] { return DateTime{2010, 3, 5, 9, 7, 4}; };
    host.messages.clear();
    EXPECT_EQ(Run().outcome, ScanOutcome::Completed);
    EXPECT_EQ(OutNames().size(), 2u);
}

struct StopCase {
    const char* what;
    void (*arrange)(ScanState&, ScanEnvironment&, const TempTree&);
    const char* message;
};

std::string WrongDigest(std::string_view) { return "D174AB98D277D9F5A5611C2C9F419D9E"; }
std::string FailingDigest(std::string_view) { throw std::overflow_error("overflow"); }

const StopCase kStopCases[] = {
    {"SelfTestGivesAWrongDigest",
     [](ScanState&, ScanEnvironment& e, const TempTree&) { e.selfTestDigest = WrongDigest; },
     "Internal calculation error!! Can not continue."},
    {"SelfTestFails", [](ScanState&, ScanEnvironment& e, const TempTree&) { e.selfTestDigest = FailingDigest; },
     "Internal calculation error!! Can not continue."},
    {"SelfTestComesBeforeEveryOtherCheck",
     [](ScanState& s, ScanEnvironment& e, const TempTree&) {
         e.selfTestDigest = WrongDigest;
         s.SourceFolder.clear();
         s.OutputFolder.clear();
     },
     "Internal calculation error!! Can not continue."},
    {"NoSourceFolder", [](ScanState& s, ScanEnvironment&, const TempTree&) { s.SourceFolder.clear(); },
     "Please choose a folder to search."},
    {"NoSourceAndNoOutputFolder",
     [](ScanState& s, ScanEnvironment&, const TempTree&) {
         s.SourceFolder.clear();
         s.OutputFolder.clear();
     },
     "Please choose a folder to search."},
    {"NoOutputFolder", [](ScanState& s, ScanEnvironment&, const TempTree&) { s.OutputFolder.clear(); },
     "Please choose an output folder."},
    {"OutputFolderMissing",
     [](ScanState& s, ScanEnvironment&, const TempTree& t) { s.OutputFolder = AddBackslash(t.Text("out/missing")); },
     "Error creating output folder."},
};

class ScanRunStops : public ScanRunTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(ScanRunStops, EachCheckStopsTheRunWithItsMessage) {
    state.FilesFound = 7;
    GetParam().arrange(state, environment, tree);
    const std::string chosenOutput = state.OutputFolder;
    const ScanResult result = Run();
    EXPECT_EQ(result.outcome, ScanOutcome::Stopped);
    EXPECT_EQ(host.messages, (std::vector<std::pair<MessageKind, std::string>>{{MessageKind::Stop, GetParam().message}}));
    EXPECT_TRUE(host.looks.empty());
    EXPECT_TRUE(host.shownPaths.empty());
    EXPECT_EQ(state.OutputFolder, chosenOutput);
    EXPECT_EQ(state.FilesFound, 7);
    EXPECT_TRUE(OutNames().empty());
}

INSTANTIATE_TEST_SUITE_P(Checks, ScanRunStops, ::testing::ValuesIn(kStopCases),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(ScanRunTest, TheSelfTestDigestsTheStandardsTextAndTakesUpperCase) {
    std::string asked;
    environment.selfTestDigest = [&](std::string_view text) {
        asked = std::string(text);
        return std::string("D174AB98D277D9F5A5611C2C9F419D9F");
    };
    EXPECT_EQ(Run().outcome, ScanOutcome::Completed);
    EXPECT_EQ(asked, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
}

TEST_F(ScanRunTest, AnOutputFolderRemovedDuringTheScanBringsMessagesPerFile) {
    for (int i = 1; i <= 3; ++i) AddFile("src/n12345_67[" + std::to_string(i) + "].jpg", "abc");
    host.onYield = [this](std::size_t shown) {
        if (shown == 1) fs::remove_all(FromText(state.OutputFolder));
    };
    const ScanResult result = Run();
    EXPECT_EQ(result.outcome, ScanOutcome::Completed);
    ASSERT_EQ(host.messages.size(), 7u);
    for (int n = 0; n < 3; ++n) {
        const std::string& path = host.shownPaths[n];
        EXPECT_EQ(host.messages[2 * n], std::make_pair(MessageKind::FileProblem,
                                                       "Error copying file: " + path + ". Error number: " +
                                                           std::to_string(test::MissingFolderError()) +
                                                           ". Click OK to continue."));
        EXPECT_EQ(host.messages[2 * n + 1],
                  std::make_pair(MessageKind::FileProblem,
                                 "Error writing to HTML report for file: " + path + ". Click OK to continue."));
    }
    EXPECT_EQ(host.messages[6], std::make_pair(MessageKind::Final, Final("Operation complete.", 3)));
    EXPECT_FALSE(fs::exists(FromText(result.runFolder)));
}

TEST_F(ScanRunTest, AFileThatVanishesAfterTheListingGetsTheFailureTexts) {
    const std::string path = AddFile("src/n12345_67[1].jpg", "abc");
    host.onYield = [&](std::size_t) { fs::remove(FromText(path)); };
    const ScanResult result = Run();
    test::ExpectedEntry entry;
    entry.pathText = path;
    entry.nameText = "n12345_67[1].jpg";
    entry.userId = "12345";
    entry.digest = "error generating md5 hash";
    entry.timesAvailable = false;
    entry.imageSource = "n12345_67[1]-1.jpg";
    EXPECT_EQ(Report(result), kHeaderLine + EntryLines(entry) + CompletedTail(1));
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].second, "Error copying file: " + path + ". Error number: " +
                                           std::to_string(test::MissingFileError()) + ". Click OK to continue.");
}

class ProfileScanTest : public ScanRunTest {
protected:
    void SetUp() override {
        ScanRunTest::SetUp();
        state.SourceFolder.clear();
        host.profileMode = true;
        tree.Folder("drive");
        host.driveRoot = tree.Text("drive");
    }
    std::string Drive(const std::string& relative) { return tree.Text("drive/" + relative); }
    std::vector<std::string> EntryPaths(const ScanResult& result) {
        std::vector<std::string> paths;
        const std::string report = Report(result);
        const std::string marker = "<b>Full path:</b> ";
        for (std::size_t at = report.find(marker); at != std::string::npos; at = report.find(marker, at + 1)) {
            const std::size_t start = at + marker.size();
            paths.push_back(report.substr(start, report.find("<br>", start) - start));
        }
        return paths;
    }
};

TEST_F(ProfileScanTest, OnlyTheProfileFoldersAreSearched) {
    AddFile("drive/Users/alice/AppData/n12345_67[1].jpg", "a");
    AddFile("drive/n12345_67[2].jpg", "b");
    AddFile("drive/Program Files/n12345_67[3].jpg", "c");
    const ScanResult result = Run();
    EXPECT_EQ(result.outcome, ScanOutcome::Completed);
    EXPECT_EQ(EntryPaths(result), std::vector<std::string>{Drive("Users/alice/AppData/n12345_67[1].jpg")});
    EXPECT_EQ(host.shownPaths, std::vector<std::string>{Drive("Users/alice/AppData/n12345_67[1].jpg")});
}

TEST_F(ProfileScanTest, UsersIsSearchedBeforeDocumentsAndSettings) {
    AddFile("drive/Documents and Settings/bob/n12345_67[2].jpg", "b");
    AddFile("drive/Users/alice/n12345_67[1].jpg", "a");
    host.driveRoot += kSep;  // a root given with its separator searches the same folders
    const ScanResult result = Run();
    EXPECT_EQ(EntryPaths(result), (std::vector<std::string>{Drive("Users/alice/n12345_67[1].jpg"),
                                                            Drive("Documents and Settings/bob/n12345_67[2].jpg")}));
    EXPECT_EQ(state.FilesFound, 2);
}

TEST_F(ProfileScanTest, DocumentsAndSettingsAloneOrNeither) {
    AddFile("drive/Documents and Settings/bob/n12345_67[2].jpg", "b");
    EXPECT_EQ(EntryPaths(Run()), std::vector<std::string>{Drive("Documents and Settings/bob/n12345_67[2].jpg")});

    host.driveRoot = tree.Text("drive/Documents and Settings/bob");
    environment.localNow = [] { return DateTime{2010, 3, 5, 9, 7, 4}; };
    host.messages.clear();
    const ScanResult empty = Run();
    EXPECT_EQ(empty.outcome, ScanOutcome::Completed);
    EXPECT_EQ(Report(empty), kHeaderLine + CompletedTail(0));
}

TEST_F(ProfileScanTest, AnAbortDuringUsersSkipsDocumentsAndSettings) {
    AddFile("drive/Users/alice/n12345_67[1].jpg", "a");
    AddFile("drive/Users/alice/n12345_67[3].jpg", "a");
    AddFile("drive/Documents and Settings/bob/n12345_67[2].jpg", "b");
    host.abortAtFile = 1;
    const ScanResult result = Run();
    EXPECT_EQ(result.outcome, ScanOutcome::Aborted);
    EXPECT_EQ(host.shownPaths.size(), 1u);
    EXPECT_EQ(EntryPaths(result), std::vector<std::string>{host.shownPaths[0]});
    EXPECT_TRUE(Report(result).ends_with(AbortedTail(1)));
}

TEST_F(ScanRunTest, MarkupAndUrlCharactersInNamesAreEscaped) {
    // Characters every platform allows in names; the POSIX tests add "<", ">", '"' and "?".
    const std::string path = AddFile("src/A&B %41 #1/1111_222_333_444_555_&%#5_n[1].jpg", "abc");
    const ScanResult result = Run();
    auto entry = EntryFor(path, "", "333", "900150983cd24fb0d6963f7d28e17f72", kAccessed, kModified);
    entry.pathText = AddBackslash(tree.Text("src")) + "A&amp;B %41 #1" + kSep + "1111_222_333_444_555_&amp;%#5_n[1].jpg";
    entry.nameText = "1111_222_333_444_555_&amp;%#5_n[1].jpg";
    entry.imageSource = "1111_222_333_444_555_&amp;%25%235_n[1]-1.jpg";
    EXPECT_EQ(Report(result), kHeaderLine + EntryLines(entry) + CompletedTail(1));
    EXPECT_EQ(ReadBytes(FromText(result.runFolder + "1111_222_333_444_555_&%#5_n[1]-1.jpg")), "abc");
}

TEST_F(ScanRunTest, NonAsciiNamesAreWrittenInTheReportsCodePage) {
    if (ToReportCodePage("\xC3\xA9\xE2\x82\xAC") != std::string("\xE9\x80"))
        GTEST_SKIP() << "the report's code page here is not Windows-1252";
    // "Café €" and "漢字".
    const std::string folder = "Caf\xC3\xA9 \xE2\x82\xAC";
    const std::string name = "1111_222_333_444_555_\xE6\xBC\xA2\xE5\xAD\x97" "5_n[1].jpg";
    const std::string path = AddFile("src/" + folder + "/" + name, "abc");
    const ScanResult result = Run();
    auto entry = EntryFor(path, "", "333", "900150983cd24fb0d6963f7d28e17f72", kAccessed, kModified);
    entry.pathText = ToReportCodePage(AddBackslash(tree.Text("src"))).value_or("?") + "Caf\xE9 \x80" + kSep +
                     "1111_222_333_444_555_&#28450;&#23383;5_n[1].jpg";
    entry.nameText = "1111_222_333_444_555_&#28450;&#23383;5_n[1].jpg";
    entry.imageSource = "1111_222_333_444_555_&#28450;&#23383;5_n[1]-1.jpg";
    EXPECT_EQ(Report(result), kHeaderLine + EntryLines(entry) + CompletedTail(1));
    EXPECT_EQ(ReadBytes(FromText(result.runFolder + "1111_222_333_444_555_\xE6\xBC\xA2\xE5\xAD\x97" "5_n[1]-1.jpg")),
              "abc");
}

}  // namespace
}  // namespace snapsift
