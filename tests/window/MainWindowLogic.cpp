// The main window's rules against a view (the test itself) that records every change in order,
// answers the chooser and the questions as told and runs on a clock the test sets. Scans are
// real, over temporary trees.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "platform/Paths.h"
#include "support/TempTree.h"
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

std::string Total(const char* outcome, int total) {
    return "message Operation " + std::string(outcome) + ".\r\n\r\nTotal files found: " + std::to_string(total);
}

// The fixture is the view. It logs "show X", "hide X", "enable X", "disable X", "text X ...",
// "height N", "message ...", "question ...", "browse TITLE at START", "choose TITLE (PATTERNS) at
// START", "images ENTRY | ENTRY + ADD select N", "about", "close refused" or "closed", and "turn".
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
    void ShowMessage(std::string_view text) override { log.push_back("message " + std::string(text)); }
    bool AskYesNo(std::string_view text) override { log.push_back("question " + std::string(text)); return yes; }
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
    // the number of files the run put into its folder (the report and the copies).
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

// Each handler of the idle window, and the chosen source and output folders after it. The chooser
// opens at the last choice and a cancel keeps it; the mode switch changes what is shown alone. A
// stopped START shows its message and nothing else (the checks are the scan run's own; profile
// mode needs no source folder), with the window's own self-test digest.
TEST_F(MainWindowLogicTest, HandlersOfTheIdleWindow) {
    using F = MainWindowLogic;
    const std::string at = "browse Choose a folder: at ";
    const auto zeros = [](std::string_view) { return std::string(32, '0'); };
    Log loaded = {"text TitleLabel Snapsift v" SNAPSIFT_VERSION, "height 4770"};
#ifdef SNAPSIFT_IMAGES
    loaded.push_back("images + Add disk image... select -1");
#endif
    const struct { const char* why; void (F::*handler)(); bool profiles; std::string source, answer, after; Log log;
                   std::string output = "/o/"; decltype(ScanEnvironment::selfTestDigest) digest = nullptr; } rows[] = {
        {"load", &F::OnLoad, true, "/s/", "", "/s/ /o/", loaded},
        {"profile mode", &F::OnProfileModeClicked, true, "/s/", "", "/s/ /o/",
         {"hide SourceBrowseButton", "show DriveList", "hide SourceFolderBox", "hide SearchSubfolders"}},
        {"folder mode", &F::OnProfileModeClicked, false, "/s/", "", "/s/ /o/",
         {"hide DriveList", "show SourceFolderBox", "show SearchSubfolders", "show SourceBrowseButton"}},
        {"source chosen", &F::OnSourceBrowseClicked, false, "/s/", "/a/", "/a/ /o/", {at + "/s/", "text SourceFolderBox /a/"}},
        {"source cancelled", &F::OnSourceBrowseClicked, false, "/s/", "", "/s/ /o/", {at + "/s/", "text SourceFolderBox /s/"}},
        {"nothing chosen yet", &F::OnSourceBrowseClicked, false, "", "", " /o/", {at}},
        {"output chosen", &F::OnOutputBrowseClicked, false, "/s/", "E:\\", "/s/ E:\\", {at + "/o/", "text OutputFolderBox E:\\"}},
        {"output cancelled", &F::OnOutputBrowseClicked, false, "/s/", "", "/s/ /o/", {at + "/o/", "text OutputFolderBox /o/"}},
        {"start, no output, profiles", &F::OnStartClicked, true, "", "", " ", {"message Please choose an output folder."}, ""},
        {"start, self-test first", &F::OnStartClicked, false, "", "", " ", {"message Internal calculation error!! Can not continue."},
         "", zeros},
        {"help", &F::OnHelpClicked, false, "/s/", "", "/s/ /o/", {
            "message If \"Only Search User Profile Folders On Selected Drive\" is checked, only the user profile "
            "folders ('Documents and Settings' in XP, or 'Users' in Vista/7) will be searched. This greatly reduces "
            "the search time and is usually all that is needed since Quorvia JPG files are generally only found in "
            "the Temporary Internet Files.\r\n\r\nIf \"Only Search User Profile Folders On Selected Drive\" is NOT "
            "checked, you will have the option of selecting a specific folder to search, with (optionally) all "
            "sub-folders as well."}}};
    for (const auto& row : rows) {
        log.clear();
        checked[Control::ProfileFoldersOnly] = row.profiles;
        chosen = row.answer;
        state = {row.source, row.output};
        logic.SetScanEnvironment({nullptr, row.digest});
        (logic.*row.handler)();
        EXPECT_EQ(log, row.log) << row.why;
        EXPECT_EQ(state.SourceFolder + " " + state.OutputFolder, row.after) << row.why;
    }
}

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

// The final message comes in the running look, with ShownPath brought up to date before it.
TEST_F(MainWindowLogicTest, ScanRunsInTheRunningLookAndEndsIdle) {
    tree.Entries({{"source/n1234567_890_123[1].jpg", kJpeg}, {"source/sub/n7654321_1_2[1].jpg", kJpeg}});
    Scan();
    EXPECT_EQ(log, (Log{"disable ProfileFoldersOnly", "show ProgressFrame", "disable OutputBrowseButton", "disable SourceBrowseButton", "hide StartButton",
                        "show AbortButton", "disable SearchSubfolders", "disable IncludePhotos", "disable HelpButton", "height 6270",
                        "text ShownPath " + tree.Text("source/n1234567_890_123[1].jpg"), "turn", "turn",
                        "text ShownPath " + tree.Text("source/sub/n7654321_1_2[1].jpg"), Total("complete", 2),
                        "enable ProfileFoldersOnly", "enable IncludePhotos", "enable SearchSubfolders", "enable OutputBrowseButton", "enable SourceBrowseButton",
                        "show StartButton", "hide AbortButton", "hide ProgressFrame", "enable HelpButton", "height 4770"}));
}

// Each setting comes from its control when the scan needs it: IncludePhotos for each file found, so
// unchecking it during a scan counts from the next file on.
TEST_F(MainWindowLogicTest, ScanTakesItsSettingsFromTheView) {
    const struct { const char* why; bool profiles, subfolders, photos; int photosOffAt, found, copies; } rows[] = {
        {"a folder and its subfolders", false, true, true, 0, 2, 2}, {"a folder alone", false, false, true, 0, 1, 1},
        {"no photos", false, true, false, 0, 2, 0}, {"photos off at the second file", false, true, true, 2, 2, 1},
        {"the profiles of the selected drive", true, true, true, 0, 1, 1}};
    tree.Entries({{"source/n1234567_890_123[1].jpg", kJpeg}, {"source/sub/n7654321_1_2[1].jpg", kJpeg},
                  {"Users/ana/n2345678_1_2[1].jpg", kJpeg}});
    drivePrefix = WithoutTrailingSeparators(tree.RootText());
    for (const auto& row : rows) {
        checked = {{Control::ProfileFoldersOnly, row.profiles}, {Control::SearchSubfolders, row.subfolders}, {Control::IncludePhotos, row.photos}};
        const auto files = Scan([&](int turn) { if (turn == row.photosOffAt) checked[Control::IncludePhotos] = false; });
        EXPECT_EQ(Only({"message"}), Log{Total("complete", row.found)}) << row.why;
        EXPECT_EQ(files, row.copies + 1) << row.why;
    }
}

// Inside the third file's turn: Exit is refused, About opens, ABORT asks and only Yes ends the
// walk before the fourth file. Once the scan is over, Exit closes the window.
TEST_F(MainWindowLogicTest, HandlersDuringAScan) {
    const struct { const char* why; void (MainWindowLogic::*handler)(); bool yes; Log log; } rows[] = {
        {"exit", &MainWindowLogic::OnExitChosen, false, {"close refused", Total("complete", 20), "closed"}},
        {"about", &MainWindowLogic::OnAboutChosen, false, {"about", Total("complete", 20), "closed"}},
        {"abort, yes", &MainWindowLogic::OnAbortClicked, true, {kAbortQuestion, Total("aborted", 3), "closed"}},
        {"abort, no", &MainWindowLogic::OnAbortClicked, false, {kAbortQuestion, Total("complete", 20), "closed"}}};
    for (int i = 0; i < 20; ++i) tree.File("source/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kJpeg);
    for (const auto& row : rows) {
        yes = row.yes;
        Scan([&](int turn) { if (turn == 3) (logic.*row.handler)(); });
        logic.OnExitChosen();
        EXPECT_EQ(Only({"close", "about", "question", "message"}), row.log) << row.why;
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
