// The main window's rules against a view (the test itself) that records every change in order,
// answers the chooser and the questions as told and runs on a clock the test sets. Scans are
// real, over temporary trees.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <functional>
#include <map>
#include <regex>
#include <set>

#include "platform/AccessTimes.h"
#include "platform/EvidenceFile.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "support/TempTree.h"
#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>

#include "support/OrdinaryUser.h"
#endif
#ifdef SNAPSIFT_IMAGES
#include "support/NtfsImages.h"
#endif
#include "window/FolderChoice.h"
#include "window/MainWindowLogic.h"
#include "window/TurnPacer.h"

namespace snapsift::test {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;
constexpr char kJpeg[] = "\xFF\xD8\xFF\xE0 photo bytes";
constexpr char kAbortQuestion[] = "question Are you sure you want to cancel this operation?";

// The final message of a run with no problems; the report's path, a file that exists, is logged
// as "<report>", and the digest of the run's digest list is left out.
std::string Total(const char* outcome, int total) {
    return "message Operation " + std::string(outcome) + ".\r\n\r\nTotal files found: " + std::to_string(total) +
           "\r\nReport: <report>";
}

// The fixture is the view. It logs "show X", "hide X", "enable X", "disable X", "text X ...",
// "height N", "message ...", "question ..." (with " [No]" when No is preselected), "browse TITLE at START", "choose TITLE (PATTERNS) at
// START", "images ENTRY | ENTRY + ADD select N", "about", "close refused" or "closed", and "turn";
// and as the system it logs "forecast ROOT", each search root whose access times START foresees
// (`forecast` the answer).
class MainWindowLogicTest : public ::testing::Test, public MainWindowView {
protected:
    ScanState state;
    MainWindowLogic logic{*this, state};
    TempTree tree;
    Log log;
    std::map<Control, bool> checked = {{Control::ProfileFoldersOnly, false}, {Control::SearchSubfolders, true}, {Control::IncludePhotos, true}};
    std::string drivePrefix, chosen;  // chosen: the chooser's answer
    int selectedImage = -1;
    bool yes = false;                 // the answer to every question
    std::int64_t nowNs = 0;
    int turns = 0, runs = 0;
    std::function<void(int)> onTurn;  // inside each turn, with the turn's number
    // Kept apart from the log: the captions set, the controls given the focus, the menu items'
    // states and the files opened in the browser (the answer: openable).
    Log captions, focused, opened;
    std::map<MenuCommand, bool> menuEnabled;
    bool openable = true;
    Log captionAtBox;  // the caption as each message box shows
    AccessTimeForecast forecast = AccessTimeForecast::Kept;

    MainWindowLogicTest() {
        logic.SetAccessTimeForecaster([this](const std::string& root) { return log.push_back("forecast " + root), forecast; });
    }

    static std::string Name(Control c) { return std::string(ControlName(c)); }
    void SetVisible(Control c, bool on) override { log.push_back((on ? "show " : "hide ") + Name(c)); }
    void SetEnabled(Control c, bool on) override { log.push_back((on ? "enable " : "disable ") + Name(c)); }
    void SetText(Control c, const std::string& text) override { log.push_back("text " + Name(c) + " " + text); }
    bool IsChecked(Control c) const override { return checked.at(c); }
    std::string SelectedDrivePrefix() const override { return drivePrefix; }
    void SetImageEntries(const std::vector<std::string>& entries, const std::string& add, int select) override {
        std::string text = "images";
        for (const std::string& entry : entries) text += (text == "images" ? " " : " | ") + entry;
        log.push_back(text + " + " + add + " select " + std::to_string(select));
    }
    int SelectedImageEntry() const override { return selectedImage; }
    std::string ChooseDiskImage(std::string_view title, std::string_view patterns, const std::string& start) override {
        return log.push_back("choose " + std::string(title) + " (" + std::string(patterns) + ") at " + start), chosen;
    }
    void SetClientHeight(int twips) override { log.push_back("height " + std::to_string(twips)); }
    void SetCaption(const std::string& text) override { captions.push_back(text); }
    void SetFocus(Control c) override { focused.push_back(Name(c)); }
    void SetMenuEnabled(MenuCommand command, bool enabled) override { menuEnabled[command] = enabled; }
    bool OpenInBrowser(const std::string& path) override { return opened.push_back(path), openable; }
    void ShowMessage(std::string_view text) override {
        std::string logged = "message " + std::string(text);
        logged = std::regex_replace(logged, std::regex("\r\nDigest list SHA-256: [0-9a-f]{64}"), "");
        const std::size_t report = logged.find("\r\nReport: ");
        if (report != std::string::npos && fs::is_regular_file(PathFromText(logged.substr(report + 10))))
            logged.replace(report + 10, std::string::npos, "<report>");
        log.push_back(logged);
        captionAtBox.push_back(captions.empty() ? "" : captions.back());
    }
    bool AskYesNo(std::string_view text, Preselected preselected) override {
        log.push_back("question " + std::string(text) + (preselected == Preselected::No ? " [No]" : ""));
        return yes;
    }
    std::string BrowseFolder(std::string_view title, const std::string& start) override {
        return log.push_back("browse " + std::string(title) + " at " + start), chosen;
    }
    void ShowAbout() override { log.push_back("about"); }
    void Close() override { log.push_back(logic.CloseRefused() ? "close refused" : "closed"); }
    void Turn(std::int64_t) override { log.push_back("turn"); if (onTurn) onTurn(++turns); }
    std::int64_t NowNs() const override { return nowNs; }

    // The log entries that start with one of the prefixes.
    Log Only(std::initializer_list<std::string_view> prefixes) const {
        Log kept;
        for (const std::string& entry : log)
            for (std::string_view prefix : prefixes)
                if (entry.starts_with(prefix)) kept.push_back(entry);
        return kept;
    }
    // START with source/ and a new output folder chosen, the log afresh, with this onTurn. Gives
    // the number of files the run put into its folder.
    std::ptrdiff_t Scan(std::function<void(int)> inTurn = {}) {
        const std::string output = "out" + std::to_string(++runs);
        tree.Folder(output);
        state = {WithTrailingSeparator(tree.Text("source")), WithTrailingSeparator(tree.Text(output))};
        log.clear();
        turns = 0;
        onTurn = std::move(inTurn);
        logic.OnStartClicked();
        return std::distance(fs::directory_iterator(*fs::directory_iterator(tree.Path(output))), {});
    }
};

// Each handler of the idle window, and the chosen source and output folders after it. Each
// chooser is titled for what it chooses, opens at the last choice, and a cancel keeps it; the
// mode switch changes what is shown alone. A stopped START shows its message and nothing else
// (the checks are the scan run's own; profile mode needs no source folder), with the window's own
// self-test digest. A START that would change access times asks first, of the root it would search,
// and No starts nothing; one that the run's checks stop, or that keeps them, asks nothing.
TEST_F(MainWindowLogicTest, HandlersOfTheIdleWindow) {
    using F = MainWindowLogic;
    using T = AccessTimeForecast;
    const std::string source = "browse Choose the folder to search: at ", output = "browse Choose where the run folder goes: at ";
    const std::string question = "question " + AccessTimeQuestion() + " [No]", startedRun = "message Error creating output folder.";
    const auto zeros = [](std::string_view) { return std::string(32, '0'); };
    Log loaded = {"text TitleLabel Snapsift v" SNAPSIFT_VERSION, "height 4770"};
#ifdef SNAPSIFT_IMAGES
    loaded.push_back("images + Add disk image... select -1");
#endif
    const struct { const char* why; void (F::*handler)(); bool profiles; std::string source, answer, after; Log log;
                   std::string output = "/o/"; decltype(ScanEnvironment::selfTestDigest) digest = nullptr;
                   T forecast = T::Kept; bool yes = false; } rows[] = {
        {"load", &F::OnLoad, true, "/s/", "", "/s/ /o/", loaded},
        {"profile mode", &F::OnProfileModeClicked, true, "/s/", "", "/s/ /o/",
         {"hide SourceBrowseButton", "show DriveList", "hide SourceFolderBox", "hide SearchSubfolders"}},
        {"folder mode", &F::OnProfileModeClicked, false, "/s/", "", "/s/ /o/",
         {"hide DriveList", "show SourceFolderBox", "show SearchSubfolders", "show SourceBrowseButton"}},
        {"source chosen", &F::OnSourceBrowseClicked, false, "/s/", "/a/", "/a/ /o/", {source + "/s/", "text SourceFolderBox /a/"}},
        {"source cancelled", &F::OnSourceBrowseClicked, false, "/s/", "", "/s/ /o/", {source + "/s/", "text SourceFolderBox /s/"}},
        {"nothing chosen yet", &F::OnSourceBrowseClicked, false, "", "", " /o/", {source}},
        {"output chosen", &F::OnOutputBrowseClicked, false, "/s/", "E:\\", "/s/ E:\\", {output + "/o/", "text OutputFolderBox E:\\"}},
        {"output cancelled", &F::OnOutputBrowseClicked, false, "/s/", "", "/s/ /o/", {output + "/o/", "text OutputFolderBox /o/"}},
        {"start, no output, profiles", &F::OnStartClicked, true, "", "", " ", {"message Please choose an output folder."}, ""},
        {"start, self-test first", &F::OnStartClicked, false, "", "", " ", {"message Internal calculation error!! Can not continue."},
         "", zeros},
        {"start, times kept", &F::OnStartClicked, false, "/s/", "", "/s/ /o/", {"forecast /s/", startedRun}},
        {"start, times change, no", &F::OnStartClicked, false, "/s/", "", "/s/ /o/", {"forecast /s/", question}, "/o/",
         nullptr, T::OthersFilesChange},
        {"start, times change, yes", &F::OnStartClicked, false, "/s/", "", "/s/ /o/", {"forecast /s/", question, startedRun},
         "/o/", nullptr, T::OthersFilesChange, true},
        {"start on a drive, times change", &F::OnStartClicked, true, "", "", " /o/",
         {"forecast " + std::string(1, kSeparator), question}, "/o/", nullptr, T::OthersFilesChange},
        {"start, no output, times change", &F::OnStartClicked, true, "", "", " ", {"message Please choose an output folder."},
         "", nullptr, T::OthersFilesChange},
        {"start, no source, times change", &F::OnStartClicked, false, "", "", " /o/", {"message Please choose a folder to search."},
         "/o/", nullptr, T::OthersFilesChange},
        {"help", &F::OnHelpClicked, false, "/s/", "", "/s/ /o/", {
            "message If \"Only Search User Profile Folders On Selected Drive\" is checked, the user profile folders of "
            "the selected drive ('Users', or 'Documents and Settings' on older Windows) are searched. Browsers keep "
            "their caches there, so this is usually all that is needed.\r\n\r\nIf it is not checked, press Browse to "
            "choose one folder to search, and check \"Search subfolders\" to search the folders inside it as well."
            "\r\n\r\nPhotos are found by their file names, and inside browser caches by the address they came from: " +
#ifdef SNAPSIFT_SQLITE
            std::string("Chromium's (blockfile, simple and SQL caches), ") +
#else
            std::string("Chromium's (blockfile and simple caches; an SQL cache is named in the report, not read), ") +
#endif
            "Firefox's cache2, and the old cache's index.dat.\r\n\r\n" +
#ifdef SNAPSIFT_IMAGES
            "To search a disk image (raw, split or E01) of an NTFS drive without mounting it, choose \"Add disk "
            "image...\" at the end of the drive list; each of its partitions that holds user profiles can then be "
            "chosen like a drive." +
#else
            "This version cannot read disk images itself: mount the image read-only with a mounting tool, then "
            "choose its drive letter." +
#endif
            "\r\n\r\nEach search makes a new folder in the output folder, named \"Snapsift - \" and the date and "
            "time. It holds the HTML report ('Quorvia JPG Files.htm'), the same entries as a CSV file, a timeline of "
            "their times, SHA256SUMS with the digest of every file in the folder and, with \"Include photos in "
            "report\", a numbered copy of each photo. The message at the end gives the report's full path, and File "
            "> Open Last Report opens it."}}};
    for (const auto& row : rows) {
        log.clear();
        checked[Control::ProfileFoldersOnly] = row.profiles;
        chosen = row.answer;
        state = {row.source, row.output};
        forecast = row.forecast;
        yes = row.yes;
        ScanEnvironment environment;
        environment.selfTestDigest = row.digest;
        logic.SetScanEnvironment(environment);
        (logic.*row.handler)();
        EXPECT_EQ(log, row.log) << row.why;
        EXPECT_EQ(state.SourceFolder + " " + state.OutputFolder, row.after) << row.why;
    }
}

// Each menu title, and each item within its menu, has an access key of its own.
TEST(FolderPathFromChooser, EndsInExactlyOneSeparator) {
    const struct { const char* chosen; char separator; const char* expected; } rows[] = {
        {"D:\\Cases", '\\', "D:\\Cases\\"}, {"E:\\", '\\', "E:\\"}, {"", '\\', ""},
        {"/media/x", '/', "/media/x/"},    {"/media/x/", '/', "/media/x/"}, {"/", '/', "/"}};
    for (const auto& row : rows) EXPECT_EQ(FolderPathFromChooser(row.chosen, row.separator), row.expected);
}

// A scan's per-file event loop turn is a full one at most every 2 ms of the logic's clock, and
// whenever that clock went back: per turn "F" when one is due, "-" when not.
TEST(TurnPacer, FullTurnAtMostEvery2msAndWhenTheClockWentBack) {
    const struct { const char* why; std::vector<std::int64_t> clock; std::string full; } rows[] = {
        {"within the first interval", {0, 1, 1'000'000, 1'999'999}, "F---"},
        {"one interval apart", {0, 2'000'000, 4'000'000}, "FFF"},
        {"counted from the last full turn", {0, 1'500'000, 2'500'000, 4'000'000, 4'500'000}, "F-F-F"},
        {"clock went back", {7'000'000, 6'999'999, 7'000'000, 1}, "FF-F"}};
    for (const auto& row : rows) {
        TurnPacer pacer;
        std::string got;
        for (const std::int64_t now : row.clock) got += pacer.FullTurnDue(now) ? 'F' : '-';
        EXPECT_EQ(got, row.full) << row.why;
    }
}

// The final message comes in the running look, with ShownPath brought up to date before it. The
// view turns once as soon as the running look is on, then for each file and between folders. The
// drive list and the source controls cannot change while the scan runs.
TEST_F(MainWindowLogicTest, ScanRunsInTheRunningLookAndEndsIdle) {
    tree.Entries({{"source/n1234567_890_123[1].jpg", kJpeg}, {"source/sub/n7654321_1_2[1].jpg", kJpeg}});
    Scan();
    EXPECT_EQ(log, (Log{"forecast " + WithTrailingSeparator(tree.Text("source")), "disable ProfileFoldersOnly", "disable DriveList", "show ProgressFrame", "disable OutputBrowseButton", "disable SourceBrowseButton", "hide StartButton",
                        "show AbortButton", "disable SearchSubfolders", "disable IncludePhotos", "disable HelpButton", "height 6270",
                        "turn", "text ShownPath " + tree.Text("source/n1234567_890_123[1].jpg"), "turn", "turn", "turn",
                        "text ShownPath " + tree.Text("source/sub/n7654321_1_2[1].jpg"), Total("complete", 2),
                        "enable ProfileFoldersOnly", "enable DriveList", "enable IncludePhotos", "enable SearchSubfolders", "enable OutputBrowseButton", "enable SourceBrowseButton",
                        "show StartButton", "hide AbortButton", "hide ProgressFrame", "enable HelpButton", "height 4770"}));
}

// Each setting comes from its control when the scan needs it: IncludePhotos for each file found, so
// unchecking it during a scan counts from the next file on.
TEST_F(MainWindowLogicTest, ScanTakesItsSettingsFromTheView) {
    const struct { const char* why; bool profiles, subfolders, photos; int photosOffAt, found, copies; } rows[] = {
        {"a folder and its subfolders", false, true, true, 0, 2, 2}, {"a folder alone", false, false, true, 0, 1, 1},
        {"no photos", false, true, false, 0, 2, 0}, {"photos off at the second file", false, true, true, 4, 2, 1},
        {"the profiles of the selected drive", true, true, true, 0, 1, 1}};
    tree.Entries({{"source/n1234567_890_123[1].jpg", kJpeg}, {"source/sub/n7654321_1_2[1].jpg", kJpeg},
                  {"Users/ana/n2345678_1_2[1].jpg", kJpeg}});
    drivePrefix = WithoutTrailingSeparators(tree.RootText());
    for (const auto& row : rows) {
        checked = {{Control::ProfileFoldersOnly, row.profiles}, {Control::SearchSubfolders, row.subfolders}, {Control::IncludePhotos, row.photos}};
        const auto files = Scan([&](int turn) { if (turn == row.photosOffAt) checked[Control::IncludePhotos] = false; });
        EXPECT_EQ(Only({"message"}), Log{Total("complete", row.found)}) << row.why;
        EXPECT_EQ(files, row.copies + 4) << row.why;  // and the report, its CSV, timeline and SHA256SUMS
    }
}

// Inside the third file's turn (the fourth: the first comes before the walk): Exit is refused,
// About opens, ABORT asks and only Yes ends the walk, before that file is examined; the choosers,
// the disk image entry and START change nothing. Once the scan is over, Exit closes the window.
TEST_F(MainWindowLogicTest, HandlersDuringAScan) {
    const struct { const char* why; void (MainWindowLogic::*handler)(); bool yes; Log log; } rows[] = {
        {"exit", &MainWindowLogic::OnExitChosen, false, {"close refused", Total("complete", 20), "closed"}},
        {"about", &MainWindowLogic::OnAboutChosen, false, {"about", Total("complete", 20), "closed"}},
        {"abort, yes", &MainWindowLogic::OnAbortClicked, true, {kAbortQuestion, Total("aborted", 2), "closed"}},
        {"abort, no", &MainWindowLogic::OnAbortClicked, false, {kAbortQuestion, Total("complete", 20), "closed"}},
        {"source chooser", &MainWindowLogic::OnSourceBrowseClicked, false, {Total("complete", 20), "closed"}},
        {"output chooser", &MainWindowLogic::OnOutputBrowseClicked, false, {Total("complete", 20), "closed"}},
        {"add disk image", &MainWindowLogic::OnAddImageChosen, false, {Total("complete", 20), "closed"}},
        {"start again", &MainWindowLogic::OnStartClicked, true, {Total("complete", 20), "closed"}}};
    for (int i = 0; i < 20; ++i) tree.File("source/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kJpeg);
    for (const auto& row : rows) {
        yes = row.yes;
        Scan([&](int turn) { if (turn == 4) (logic.*row.handler)(); });
        logic.OnExitChosen();
        Log expected = row.log;
        expected.insert(expected.begin(), "forecast " + WithTrailingSeparator(tree.Text("source")));  // the start's alone
        EXPECT_EQ(Only({"close", "about", "question", "message", "browse", "choose", "forecast"}), expected) << row.why;
    }
}

// The path on show changes at most every 25 ms, each turn taken all the same; a path still
// waiting is shown before a question or a message (the scan's final message above shows the
// second path first) and before the idle look.
TEST_F(MainWindowLogicTest, PathOnShowIsPaced) {
    const struct { const char* why; std::vector<int> ms; std::function<void()> then; Log log; } rows[] = {
        {"every 25 ms", {0, 10, 24, 25, 49, 50}, {}, {"text ShownPath a", "turn", "turn", "turn", "text ShownPath d",
                                                     "turn", "turn", "text ShownPath f", "turn"}},
        {"before ABORT's question", {0, 1}, [&] { logic.OnAbortClicked(); },
         {"text ShownPath a", "turn", "turn", "text ShownPath b", kAbortQuestion}},
        {"before the idle look", {0, 1}, [&] { logic.SetRunningLook(false); },
         {"text ShownPath a", "turn", "turn", "text ShownPath b", "enable ProfileFoldersOnly"}}};
    for (const auto& row : rows) {
        log.clear();
        const std::int64_t start = nowNs += 1'000'000'000;
        std::string path = "a";
        for (const int ms : row.ms) nowNs = start + ms * 1'000'000LL, logic.ShowPath(path), logic.Yield(), ++path[0];
        if (row.then) row.then();
        if (row.then) log.resize(row.log.size());  // the look's other steps left out
        EXPECT_EQ(log, row.log) << row.why;
    }
}

// A box in the running look: a per-file problem says how to go on, the caption still counting;
// the final message comes under the window's own caption; others show as they are.
TEST_F(MainWindowLogicTest, MessagesAsTheirBoxesShowThem) {
    const std::string counting = "Snapsift - 0 files, 0 found, 0:00";
    const struct { const char* why; MessageKind kind; std::string text, shown, caption; } rows[] = {
        {"a file's problem", MessageKind::FileProblem, "Error copying file: /e/a.jpg. Error number: 5 (Input/output error).",
         "Error copying file: /e/a.jpg. Error number: 5 (Input/output error). Click OK to continue.", counting},
        {"a file's problem that says it", MessageKind::FileProblem, "Error opening file: /e/b.jpg. Click OK to continue.",
         "Error opening file: /e/b.jpg. Click OK to continue.", counting},
        {"the final message", MessageKind::Final, "Operation complete.\r\n\r\nTotal files found: 35",
         "Operation complete.\r\n\r\nTotal files found: 35", "Snapsift"},
        {"the run stopped", MessageKind::Stop, "Error creating output folder.", "Error creating output folder.", counting},
        {"information", MessageKind::Information, "Help.", "Help.", counting}};
    for (const auto& row : rows) {
        logic.SetRunningLook(true);
        log.clear();
        logic.ShowMessage(row.text, row.kind);
        EXPECT_EQ(log, Log{"message " + row.shown}) << row.why;
        EXPECT_EQ(captionAtBox.back(), row.caption) << row.why;
        logic.SetRunningLook(false);
        EXPECT_EQ(captions.back(), "Snapsift") << row.why;
    }
}

#ifndef _WIN32
// The forecast against what the evidence opens find, on a volume that moves access times: root
// (or CAP_FOWNER) keeps them, anyone else reads another owner's file without; and on a volume
// mounted read-only nothing moves, whoever reads.
TEST(AccessTimeForecast, AgreesWithTheEvidenceOpens) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own a file the test's user does not";
    TempTree tree;
    tree.File("photo.jpg", kJpeg);
    tree.Folder("readonly");
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0755), 0);
    const std::string readOnly = tree.Text("readonly");
    // A volume with root's photo on it, then mounted read-only.
    const bool mounted = ::mount("tmpfs", readOnly.c_str(), "tmpfs", 0, "mode=755") == 0;
    if (mounted) {
        std::ofstream(readOnly + "/photo.jpg", std::ios::binary) << kJpeg;
        ASSERT_EQ(::mount(nullptr, readOnly.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    }
    const auto forecastAndOpen = [&](const std::string& root) {
        EvidenceFile file;
        const bool kept = file.Open(root + "/photo.jpg") && file.AccessTimeKept();
        return std::string(ForecastAccessTimes(root) == AccessTimeForecast::Kept ? "kept" : "change") +
               (kept ? ", open keeps" : ", open moves");
    };
    const struct { const char* why; bool ordinary; std::string root, seen; } rows[] = {
        {"root", false, tree.RootText(), "kept, open keeps"},
        {"an ordinary user", true, tree.RootText(), "change, open moves"},
        {"an ordinary user, a read-only volume", true, readOnly, "kept, open keeps"}};
    for (const auto& row : rows) {
        if (row.root == readOnly && !mounted) continue;  // no mounts here (a container without the right)
        std::string seen = row.ordinary ? AsOrdinaryUser([&] { return forecastAndOpen(row.root); }) : forecastAndOpen(row.root);
        EXPECT_EQ(seen, row.seen) << row.why;
    }
    if (mounted) ::umount2(readOnly.c_str(), MNT_DETACH);
}
#endif

TEST(ProgressCaption, CountsGroupedAndElapsedTime) {
    const struct { std::uint64_t files; std::int32_t found; std::int64_t seconds; const char* caption; } rows[] = {
        {0, 0, 0, "Snapsift - 0 files, 0 found, 0:00"},
        {1, 1, 59, "Snapsift - 1 file, 1 found, 0:59"},
        {12345, 17, 42, "Snapsift - 12,345 files, 17 found, 0:42"},
        {1234567, 1000, 3600 * 2 + 61, "Snapsift - 1,234,567 files, 1,000 found, 2:01:01"},
        {999, 0, -5, "Snapsift - 999 files, 0 found, 0:00"}};
    for (const auto& row : rows) EXPECT_EQ(ProgressCaption(row.files, row.found, row.seconds), row.caption);
}

// While a scan runs the caption counts the files examined and found, at most every 250 ms of the
// logic's clock, and the focus is on ABORT; afterwards the caption and the focus on START are
// back, and File > Open Last Report, grey until then, opens the run's report or says why not.
TEST_F(MainWindowLogicTest, ProgressCaptionFocusAndTheLastReport) {
    for (int i = 0; i < 3; ++i) tree.File("source/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kJpeg);
    logic.OnLoad();
    EXPECT_FALSE(menuEnabled.at(MenuCommand::OpenLastReport));
    logic.OnOpenLastReportChosen();
    EXPECT_TRUE(opened.empty());
    focused.clear();
    Scan([&](int) { nowNs += 200'000'000; });
    // Turns at 0, 200, 400 and 600 ms: the caption changes at the third, with the second file shown,
    // and is the window's own again as the total shows.
    EXPECT_EQ(captions, (Log{"Snapsift - 0 files, 0 found, 0:00", "Snapsift - 2 files, 1 found, 0:00", "Snapsift"}));
    EXPECT_EQ(captionAtBox, Log{"Snapsift"});
    EXPECT_EQ(focused, (Log{"AbortButton", "StartButton"}));
    EXPECT_TRUE(menuEnabled.at(MenuCommand::OpenLastReport));
    logic.OnOpenLastReportChosen();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].ends_with("Quorvia JPG Files.htm") && fs::is_regular_file(PathFromText(opened[0])));
    openable = false;
    log.clear();
    logic.OnOpenLastReportChosen();
    EXPECT_EQ(log, Log{"message The report could not be opened:\r\n\r\n" + opened[0]});
}

// A volume the test writes: folders by their path ("R/", "R/A/"), each with its files and
// subfolders, and what goes wrong with them. The scan reads it as a disk image's volume, in
// folder mode from "R/". onEntry is called at each entry a listing gives, with the folder and
// the entry's place in it.
struct ScriptedFile {
    std::string name, bytes = kJpeg;
    bool changes = false, noTimes = false, keepsAccessTime = true, throws = false;
};
struct ScriptedFolder {
    std::vector<ScriptedFile> files;
    std::vector<std::string> subfolders = {};
    bool opens = true, listsToEnd = true, keepsAccessTime = true;
};

class ScriptedVolume final : public Volume {
public:
    std::map<std::string, ScriptedFolder> folders;
    std::function<void(const std::string&, std::size_t)> onEntry;

    char Separator() const override { return '/'; }
    std::string DriveRoot() const override { return {}; }
    bool FolderExists(const std::string& path) const override { return folders.contains(path); }
    bool IsPlainEntry(const std::string& path) const override { return folders.contains(path + "/"); }
    std::unique_ptr<VolumeFolder> OpenRoot(const std::string& path, SystemError& error) override {
        return Open(path, error);
    }
    std::unique_ptr<VolumeFolder> OpenBelow(const VolumeFolder&, const std::string& path, const FileIdentity&,
                                            SystemError& error) override {
        return Open(path, error);
    }
    std::optional<FileIdentity> IdentityOfLocalFolder(const std::string&) const override { return std::nullopt; }

private:
    class File final : public VolumeFile {
    public:
        explicit File(const ScriptedFile& file) : file_(file) {}
        std::int64_t Size() const override { return static_cast<std::int64_t>(file_.bytes.size()); }
        bool Times(std::optional<DateTime>& created, DateTime& accessed, DateTime& modified) const override {
            created = accessed = modified = DateTime{2026, 12, 7, 12, 0, 0};
            return !file_.noTimes;
        }
        std::int64_t Read(void* buffer, std::size_t size) override {
            const std::size_t count = std::min(size, file_.bytes.size() - at_);
            std::memcpy(buffer, file_.bytes.data() + at_, count);
            at_ += count;
            return static_cast<std::int64_t>(count);
        }
        bool UnchangedSinceOpen() override { return !file_.changes; }
        bool AccessTimeKept() const override { return file_.keepsAccessTime; }
        SystemError Error() const override { return {}; }

    private:
        const ScriptedFile& file_;
        std::size_t at_ = 0;
    };

    class Listing final : public VolumeFolder {
    public:
        Listing(const ScriptedVolume& volume, std::string path, const ScriptedFolder& folder)
            : volume_(volume), path_(std::move(path)), folder_(folder) {}
        ListingStep Next(std::string_view& name, EntryKind& kind, FileIdentity* identity) override {
            const std::size_t entries = folder_.files.size() + folder_.subfolders.size();
            if (at_ == entries) return folder_.listsToEnd ? ListingStep::End : ListingStep::Failed;
            if (volume_.onEntry) volume_.onEntry(path_, at_);
            const bool file = at_ < folder_.files.size();
            name = file ? folder_.files[at_].name : folder_.subfolders[at_ - folder_.files.size()];
            kind = file ? EntryKind::File : EntryKind::Folder;
            if (identity != nullptr && !file)
                *identity = {1, static_cast<std::uint64_t>(std::distance(volume_.folders.begin(),
                                                                           volume_.folders.find(path_ + std::string(name) + "/")))};
            ++at_;
            return ListingStep::Entry;
        }
        SystemError Error() const override { return SystemError{5}; }
        bool AccessTimeKept() const override { return folder_.keepsAccessTime; }
        std::unique_ptr<VolumeFile> OpenFile(std::string_view name, const std::string&, SystemError&) const override {
            for (const ScriptedFile& file : folder_.files)
                if (file.name == name) {
                    if (file.throws) throw std::runtime_error("open failed");
                    return std::make_unique<File>(file);
                }
            return nullptr;
        }

    private:
        const ScriptedVolume& volume_;
        std::string path_;
        const ScriptedFolder& folder_;
        std::size_t at_ = 0;
    };

    std::unique_ptr<VolumeFolder> Open(const std::string& path, SystemError& error) {
        const auto folder = folders.find(path);
        if (folder == folders.end() || !folder->second.opens) {
            error = SystemError{13};
            return nullptr;
        }
        return std::make_unique<Listing>(*this, path, folder->second);
    }
};

// The window logic over a scripted volume instead of the drives and images of its list.
class ScriptedLogic : public MainWindowLogic {
public:
    using MainWindowLogic::MainWindowLogic;
    const ImageSource* Image() const override { return &source; }
    ImageSource source;
};

class ScriptedScanTest : public MainWindowLogicTest {
protected:
    ScriptedVolume volume;
    ScriptedLogic scripted{*this, state};

    ScriptedScanTest() {
        scripted.source.facts.path = "scripted.img";
        scripted.source.volumes = {&volume};
        // An image's files are read from the image: START never asks about access times.
        scripted.SetAccessTimeForecaster([this](const std::string& root) {
            return log.push_back("forecast " + root), AccessTimeForecast::OthersFilesChange;
        });
    }
    // The names of what the last run lacks, as the window kept them.
    Log Unread() const {
        Log names;
        for (const EvidenceGaps::Named& named : scripted.LastRunGaps().named) names.push_back(named.name);
        return names;
    }
    // START over R/ into a new output folder: the report's closing lines, from the totals on.
    std::string Scan(std::function<void(int)> inTurn = {}) {
        const std::string output = "out" + std::to_string(++runs);
        tree.Folder(output);
        state = {"R/", WithTrailingSeparator(tree.Text(output))};
        log.clear();
        turns = 0;
        onTurn = std::move(inTurn);
        scripted.OnStartClicked();
        const fs::path runFolder = *fs::directory_iterator(tree.Path(output));
        std::ifstream in(runFolder / "Quorvia JPG Files.htm", std::ios::binary);
        const std::string report((std::istreambuf_iterator<char>(in)), {});
        const std::size_t totals = report.rfind("Total files found:");
        return totals == std::string::npos ? report : report.substr(totals);
    }
};

// Each kind of problem ends the run with its count under the total, in the final message and in
// the report's closing lines alike (what else they say of it is the scan run's business), and the
// window keeps the names of what was not read, for that run alone; a clean run's message is as it
// always was.
TEST_F(ScriptedScanTest, ProblemsAreCountedInTheFinalMessageAndTheReport) {
    const ScriptedFile photo{"n1234567_890_123[1].jpg"};
    const auto with = [&](auto change) {
        ScriptedFile file = photo;
        change(file);
        return file;
    };
    const std::string photoPath = "R/" + photo.name;
    const struct { const char* why; std::map<std::string, ScriptedFolder> folders; int found; Log problems; Log unread; } rows[] = {
        {"clean", {{"R/", {{photo}}}}, 1, {}, {}},
        {"a folder that cannot be opened", {{"R/", {{photo}, {"A"}}}, {"R/A/", {{photo}, {}, false}}}, 1,
         {"Folders that could not be read: 1"}, {"R/A/: " + SystemErrorText(13)}},
        {"a listing that ends early", {{"R/", {{photo}, {}, true, false}}}, 1, {"Folders that could not be read: 1"},
         {"R/: " + SystemErrorText(5)}},
        {"a file changed while read", {{"R/", {{with([](ScriptedFile& f) { f.changes = true; })}}}}, 1,
         {"Entries without their MD5 or times: 1", "Files that changed while they were read: 1"},
         {"entry 1, " + photoPath, "entry 1, " + photoPath}},
        {"a file without its times", {{"R/", {{with([](ScriptedFile& f) { f.noTimes = true; })}}}}, 1,
         {"Entries without their MD5 or times: 1"}, {"entry 1, " + photoPath}},
        {"a file whose examination failed", {{"R/", {{with([](ScriptedFile& f) { f.throws = true; })}}}}, 0,
         {"Files that could not be examined: 1"}, {photoPath + ": open failed"}},
        {"access times not kept", {{"R/", {{with([](ScriptedFile& f) { f.keepsAccessTime = false; })}, {}, true, true, false}}},
         1, {"Files and folders whose access time changed when read: 2"}, {"R/", photoPath}}};
    for (const auto& row : rows) {
        volume.folders = row.folders;
        const std::string tail = Scan();
        // The lines that give a count, but the total's.
        const auto counts = [](const std::string& text, const std::string& lineEnd) {
            Log lines;
            const std::regex count("([^\r\n>]*: [0-9]+)" + lineEnd);
            for (auto match = std::sregex_iterator(text.begin(), text.end(), count); match != std::sregex_iterator(); ++match)
                if (!(*match)[1].str().starts_with("Total files found")) lines.push_back((*match)[1].str());
            return lines;
        };
        const Log messages = Only({"message", "forecast", "question"});
        ASSERT_EQ(messages.size(), 1u) << row.why;
        EXPECT_TRUE(messages[0].starts_with("message Operation complete.\r\n\r\nTotal files found: " + std::to_string(row.found)) &&
                    messages[0].ends_with("\r\nReport: <report>")) << row.why;
        EXPECT_EQ(counts(messages[0], "\r\n"), row.problems) << row.why;
        EXPECT_EQ(counts(tail, "<br>"), row.problems) << row.why;
        if (row.problems.empty()) {
            EXPECT_EQ(messages[0], Total("complete", row.found)) << row.why;
        }
        EXPECT_EQ(Unread(), row.unread) << row.why;
    }
}

// A listing that takes long: the view has turned before the first listing begins and turns
// again within a long one, and ABORT clicked while a folder is listed ends the run before any of
// that folder's files is examined.
TEST_F(ScriptedScanTest, TheViewTurnsBeforeAndDuringASlowListingAndAbortEndsTheRun) {
    ScriptedFolder slow;
    for (int i = 0; i < 3000; ++i) slow.files.push_back({"plain" + std::to_string(i) + ".txt", "x"});
    slow.files.push_back({"n7654321_1_2[1].jpg"});
    volume.folders = {{"R/", {{{"n1234567_890_123[1].jpg"}}, {"A"}}}, {"R/A/", slow}};
    std::map<std::string, int> turnsAtStart, turnsAtEnd;
    bool clicked = false;
    volume.onEntry = [&](const std::string& folder, std::size_t entry) {
        if (entry == 0) turnsAtStart[folder] = turns;
        turnsAtEnd[folder] = turns;
        if (folder == "R/A/" && entry == 100) clicked = true;  // the user clicks ABORT now
    };
    yes = true;
    Scan([&](int) {
        if (clicked) clicked = false, scripted.OnAbortClicked();
    });
    EXPECT_GE(turnsAtStart["R/"], 1);
    EXPECT_GT(turnsAtEnd["R/A/"], turnsAtStart["R/A/"]);
    EXPECT_EQ(Only({"question", "message"}), (Log{kAbortQuestion, Total("aborted", 1)}));
}

#ifdef SNAPSIFT_IMAGES
// Disk images made once for these tests: profiles.img with a photo below Users, bob.img with one
// below Documents and Settings, empty.img with neither, and disk.img holding the three as its
// partitions 1 (empty), 2 (profiles) and 3 (bob).
class MainWindowLogicImageTest : public MainWindowLogicTest {
protected:
    static void SetUpTestSuite() {
        images = new TempTree;
        why = WhyNoNtfsVolumes({"sfdisk"});
        if (!why.empty()) return;
        images->Folder("m");
        const std::string m = images->Text("m"), disk = Quote(images->Text("disk.img"));
        made = MakeNtfsVolume(images->Text("empty.img"), 8, {}, m) &&
               MakeNtfsVolume(images->Text("profiles.img"), 8, {{"Users/ana/Cache/n1234567_890_123[1].jpg", kJpeg}}, m) &&
               MakeNtfsVolume(images->Text("bob.img"), 8, {{"Documents and Settings/bob/n7654321_1_2[1].jpg", kJpeg}}, m) &&
               Shell("truncate -s 26M " + disk + " && printf 'label: dos\\nstart=2048, size=16384, type=7\\n"
                     "start=18432, size=16384, type=7\\nstart=34816, size=16384, type=7\\n' | sfdisk -q " + disk) == 0;
        for (const auto& [volume, sector] : {std::pair{"empty.img", 2048}, {"profiles.img", 18432}, {"bob.img", 34816}})
            made = made && Shell("dd if=" + Quote(images->Text(volume)) + " of=" + disk + " bs=512 seek=" +
                                 std::to_string(sector) + " conv=notrunc status=none") == 0;
        images->File("junk.bin", std::string(100000, 'x'));
    }
    static void TearDownTestSuite() { delete images; }
    void SetUp() override {
        if (!why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(made) << "the disk images could not be made";
    }
    static std::string Image(const char* name) { return images->Text(name); }
    static inline TempTree* images = nullptr;
    static inline std::string why;
    static inline bool made = false;
};

// Each partition holding a profile folder becomes an entry, the first of them selected; an image
// listed already is selected again; an image that cannot be read or has no such partition is
// refused with a message. The chooser opens at the image chosen last.
TEST_F(MainWindowLogicImageTest, AddingADiskImageToTheDriveList) {
    const std::string choose = "choose Choose a disk image: (*.dd *.raw *.img *.001 *.E01 *.e01) at ";
    const std::string refused = "message The disk image could not be added.\r\n\r\n";
    const std::string disk = "images disk.img, partition 2 [NTFS] | disk.img, partition 3 [NTFS]";
    const struct { const char* why; std::string chosen; Log log; } rows[] = {
        {"not an image", Image("junk.bin"), {choose, refused + "Not a disk image with a partition table or a file "
                                                 "system that can be read: " + Image("junk.bin")}},
        {"cancelled", "", {choose + Image("junk.bin")}},
        {"no profile folder", Image("empty.img"), {choose + Image("junk.bin"), refused + "The disk image has no NTFS "
             "partition with a \"Users\" or \"Documents and Settings\" folder: " + Image("empty.img")}},
        {"whole disk", Image("disk.img"), {choose + Image("empty.img"), disk + " + Add disk image... select 0"}},
        {"bare file system", Image("profiles.img"),
         {choose + Image("disk.img"), disk + " | profiles.img [NTFS] + Add disk image... select 2"}},
        {"listed already", Image("disk.img"),
         {choose + Image("profiles.img"), disk + " | profiles.img [NTFS] + Add disk image... select 0"}}};
    for (const auto& row : rows) {
        log.clear();
        chosen = row.chosen;
        logic.OnAddImageChosen();
        EXPECT_EQ(log, row.log) << row.why;
    }
}

// A scan reads the selected image entry's volume in profile mode only; the folder mode and a
// selected volume read the live file system.
TEST_F(MainWindowLogicImageTest, ProfileModeOnAnImageEntrySearchesItsVolume) {
    chosen = Image("disk.img");
    logic.OnAddImageChosen();
    const struct { const char* why; bool profiles; int selected; std::string searched; } rows[] = {
        {"partition 2", true, 0, "disk.img, partition 2: in " + Image("disk.img")},
        {"partition 3", true, 1, "disk.img, partition 3: in " + Image("disk.img")},
        {"a volume selected", true, -1, "the live file system"},
        {"folder mode", false, 1, "the live file system"}};
    for (const auto& row : rows) {
        checked[Control::ProfileFoldersOnly] = row.profiles;
        selectedImage = row.selected;
        const ImageSource* image = logic.Image();
        const std::string searched = image == nullptr ? "the live file system"
            : image->volumes.size() != 1 ? "volumes: " + std::to_string(image->volumes.size())
            : image->volumes[0]->DriveRoot() + "in " + image->facts.path;
        EXPECT_EQ(searched, row.searched) << row.why;
    }
}
#endif

}  // namespace snapsift::test
