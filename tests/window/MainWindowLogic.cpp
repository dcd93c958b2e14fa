// The main window's rules against a view (the test itself) that records every change in order,
// answers the chooser and the questions as told and runs on the steady clock. Scans are real, on
// the logic's own thread, over temporary trees or volumes the tests write; the test takes the
// view's timer ticks itself.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <thread>

#include "platform/AccessTimes.h"
#include "platform/EvidenceFile.h"
#include "platform/Paths.h"
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
#include "window/ViewContract.h"

namespace snapsift::test {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;
constexpr char kJpeg[] = "\xFF\xD8\xFF\xE0 photo bytes";

// The fixture is the view. It logs "text X ...", "message ..." (the report's path, a file that
// exists, as "<report>", the summary's as "<summary>", the digest list's digest left out), "question ..." (with " [No]" when
// No is preselected), "browse TITLE at START", "choose TITLE (PATTERNS) at START", "images ENTRY |
// ENTRY + ADD select N", and as the system "forecast ROOT", each search root whose access times
// START foresees (`forecast` the answer). It keeps what each control shows as the window would.
class RecordingView : public MainWindowView, public ContractWindow {
public:
    ScanState state;
    MainWindowLogic logic{*this, state};
    TempTree tree;
    Log log, captions = {"Snapsift"}, opened, captionAtBox;  // the caption as each message box shows
    std::map<Control, bool> checked = {{Control::ProfileFoldersOnly, false}, {Control::SearchSubfolders, true},
                                       {Control::IncludePhotos, true}, {Control::SearchUnallocated, false}}, shown, enabled;
    std::map<Control, std::string> texts;
    std::map<MenuCommand, bool> menuEnabled;
    std::vector<std::string> boxes;
    std::string drivePrefix, chosen, focused = "none";  // chosen: the choosers' answer
    int selectedImage = -1, runs = 0, height = 0;
    bool yes = false, ticking = false, closed = false, about = false, openable = true;  // yes: every question's answer
    AccessTimeForecast forecast = AccessTimeForecast::Kept;
    std::int64_t clockStepNs = 0;  // a clock that moves this much at each reading, when set
    mutable std::int64_t clockNs = 0;

    RecordingView() {
        logic.SetAccessTimeForecaster([this](const std::string& root) { return log.push_back("forecast " + root), forecast; });
        for (int i = 0; i < kControlCount; ++i) shown[Control(i)] = MainWindowDesign().controls[i].visible, enabled[Control(i)] = true;
    }

    static std::string Name(Control c) { return std::string(ControlName(c)); }
    void SetVisible(Control c, bool on) override { shown[c] = on; }
    void SetEnabled(Control c, bool on) override { enabled[c] = on; }
    void SetText(Control c, const std::string& text) override { log.push_back("text " + Name(c) + " " + text), texts[c] = text; }
    bool IsChecked(Control c) const override { return checked.at(c); }
    std::string SelectedDrivePrefix() const override { return drivePrefix; }
    void SetImageEntries(const std::vector<std::string>& entries, const std::string& add, int select) override {
        std::string text = "images";
        for (const std::string& entry : entries) text += (text == "images" ? " " : " | ") + entry;
        log.push_back(text + " + " + add + " select " + std::to_string(select));
        if (select >= 0) selectedImage = select;
    }
    int SelectedImageEntry() const override { return selectedImage; }
    std::string ChooseDiskImage(std::string_view title, std::string_view patterns, const std::string& start) override {
        boxes.push_back("browse " + std::string(title));
        return log.push_back("choose " + std::string(title) + " (" + std::string(patterns) + ") at " + start), chosen;
    }
    void SetClientHeight(int twips) override { log.push_back("height " + std::to_string(twips)), height = twips; }
    void SetCaption(const std::string& text) override { captions.push_back(text); }
    void SetFocus(Control c) override { focused = Name(c); }
    void SetMenuEnabled(MenuCommand command, bool on) override { menuEnabled[command] = on; }
    bool OpenInBrowser(const std::string& path) override { return opened.push_back(path), openable; }
    void ShowMessage(std::string_view text) override {
        boxes.push_back(BoxText(std::string(text), false, false));
        std::string logged = std::regex_replace("message " + std::string(text), std::regex("\r\nDigest list SHA-256: [0-9a-f]{64}"), "");
        if (const std::size_t summary = logged.find("\r\nSummary: ");
            summary != std::string::npos && fs::is_regular_file(PathFromText(logged.substr(summary + 11))))
            logged.replace(summary + 11, std::string::npos, "<summary>");
        const std::size_t report = logged.find("\r\nReport: "), reportEnd = logged.find("\r\n", report + 2);
        if (report != std::string::npos && fs::is_regular_file(PathFromText(logged.substr(report + 10, reportEnd - report - 10))))
            logged.replace(report + 10, reportEnd - report - 10, "<report>");
        log.push_back(logged), captionAtBox.push_back(captions.back());
    }
    bool AskYesNo(std::string_view text, Preselected preselected) override {
        boxes.push_back(BoxText(std::string(text), true, preselected == Preselected::No));
        log.push_back("question " + std::string(text) + (preselected == Preselected::No ? " [No]" : ""));
        return yes;
    }
    std::string BrowseFolder(std::string_view title, const std::string& start) override {
        boxes.push_back("browse " + std::string(title));
        return log.push_back("browse " + std::string(title) + " at " + start), chosen;
    }
    void ShowAbout() override { about = true; }
    void Close() override { closed = closed || logic.OnCloseRequested(); }
    void SetTicking(bool on) override { ticking = on; }
    std::int64_t NowNs() const override {
        if (clockStepNs != 0) return clockNs += clockStepNs;
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }

    // ContractWindow: the handlers the toolkits call, on the state kept above; the About box
    // takes the keys while it shows.
    MainWindowLogic& Logic() override { return logic; }
    ScanState& State() override { return state; }
    void Click(Control c) override {
        if (!enabled[c] || !shown[c]) return;
        focused = Name(c);
        if (c == Control::ProfileFoldersOnly) checked[c] = !checked[c];
        const std::map<Control, void (MainWindowLogic::*)()> handlers = {
            {Control::HelpButton, &MainWindowLogic::OnHelpClicked}, {Control::StartButton, &MainWindowLogic::OnStartClicked},
            {Control::AbortButton, &MainWindowLogic::OnAbortClicked}, {Control::ProfileFoldersOnly, &MainWindowLogic::OnProfileModeClicked},
            {Control::SourceBrowseButton, &MainWindowLogic::OnSourceBrowseClicked},
            {Control::OutputBrowseButton, &MainWindowLogic::OnOutputBrowseClicked}};
        if (handlers.contains(c)) (logic.*handlers.at(c))();
    }
    void Choose(MenuCommand command) override {
        if (command == MenuCommand::Exit) logic.OnExitChosen();
        if (command == MenuCommand::About) logic.OnAboutChosen();
        if (command == MenuCommand::OpenLastReport) logic.OnOpenLastReportChosen();
        if (command == MenuCommand::OpenLastSummary) logic.OnOpenLastSummaryChosen();
    }
    void Press(std::string_view keys) override {
        if (keys.starts_with("Alt+")) return Choose(keys == "Alt+F X" ? MenuCommand::Exit : MenuCommand::About);
        if (std::exchange(about, false) || keys != "Enter") return;
        for (int i = 0; i < kControlCount; ++i)
            if (focused == Name(Control(i))) Click(Control(i));
    }
    void CloseBox() override { Close(); }
    void Answer(bool answer) override { yes = answer; }
    std::vector<std::string> Boxes() override { return std::exchange(boxes, {}); }
    bool Shown(Control c) override {
        const int frame = MainWindowDesign().controls[static_cast<std::size_t>(c)].inside;
        return shown[c] && (frame < 0 || shown[Control(frame)]);
    }
    int ClientTwips() override { return height; }
    bool Enabled(Control c) override { return enabled[c]; }
    std::string Text(Control c) override { return texts[c]; }
    std::string Caption() override { return captions.back(); }
    std::string Focused() override { return focused; }
    bool MenuEnabled(MenuCommand command) override { return menuEnabled[command]; }
    bool AboutShown() override { return about; }
    std::string Opened() override { return opened.empty() ? "" : opened.back(); }
    bool Closed() override { return closed; }
    // The view's timer, every millisecond while it ticks.
    bool RunUntil(const std::function<bool()>& done) override {
        for (int i = 0; i < 10'000 && !done(); ++i) {
            if (ticking) logic.OnTick();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }

    // The log entries that start with one of the prefixes.
    Log Only(std::initializer_list<std::string_view> prefixes) const {
        Log kept;
        for (const std::string& entry : log)
            if (std::ranges::any_of(prefixes, [&](std::string_view prefix) { return entry.starts_with(prefix); }))
                kept.push_back(entry);
        return kept;
    }
    // START with source/ and a new output folder chosen, the log afresh, until the run has ended.
    // Gives the number of files the run put into its folder.
    std::ptrdiff_t Scan() {
        const std::string output = "out" + std::to_string(++runs);
        state = {tree.Folder("source"), tree.Folder(output)};
        log.clear();
        logic.OnStartClicked();
        EXPECT_TRUE(RunUntil([this] { return !logic.Running(); }));
        return std::distance(fs::directory_iterator(*fs::directory_iterator(tree.Path(output))), {});
    }
};

class MainWindowLogicTest : public ::testing::Test, public RecordingView {};

// What the window shows for each act, idle and during a scan, as every toolkit's window must.
TEST_F(MainWindowLogicTest, ViewContract) {
    for (const ContractRow& row : ContractRows()) {
        RecordingView fresh;
        fresh.logic.OnLoad();
        fresh.checked[Control::ProfileFoldersOnly] = true;
        EXPECT_EQ(RunContractRow(fresh, row, fresh.tree.Folder("out")), row.shown) << row.why;
    }
}

// A run that fails on its way says why, and the window goes back to idle.
TEST_F(MainWindowLogicTest, RunThatFailsSaysWhy) {
    StalledVolume volume;
    volume.breaks = true;
    ScanEnvironment environment;
    environment.liveVolume = &volume;
    logic.SetScanEnvironment(environment);
    state = {"R/", tree.Folder("out")};
    logic.OnStartClicked();
    ASSERT_TRUE(RunUntil([&] { return !logic.Running(); }));
    EXPECT_EQ(Only({"question", "message", "forecast"}), (Log{"forecast R/", "message The search stopped on a failure: the volume broke"}));
    EXPECT_FALSE(shown[Control::AbortButton]);
}

// A box the run asks on its thread waits there for the window's answer: Yes and No come back as
// given, a message's OK as true; a box queued at an abort is answered No unshown, and once the
// window closes every box, waiting or to come, is answered No at once.
TEST(ScanChannel, EachBoxWaitsForItsAnswer) {
    const struct { const char* why; std::function<void(ScanChannel&)> window; bool question, answer, taken; } rows[] = {
        {"Yes", [](ScanChannel& c) { c.Answer(true); }, true, true, true},
        {"No", [](ScanChannel& c) { c.Answer(false); }, true, false, true},
        {"a message's OK", [](ScanChannel& c) { c.Answer(true); }, false, true, true},
        {"queued at an abort", [](ScanChannel& c) { c.AnswerQueuedBox(); }, true, false, false},
        {"the window closes", [](ScanChannel& c) { c.Close(); }, true, false, false}};
    for (const auto& row : rows) {
        ScanChannel channel({});
        std::atomic<int> answer = -1;
        std::thread run([&] { answer = row.question ? channel.AskYesNo("Go on?") : (channel.ShowMessage("Error.", MessageKind::FileProblem), 1); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(answer, -1) << row.why;  // still waiting
        while (row.taken && !channel.Next()) std::this_thread::yield();
        row.window(channel);
        run.join();
        EXPECT_EQ(answer, row.answer ? 1 : 0) << row.why;
        EXPECT_FALSE(channel.Next()) << row.why;  // the box was taken or dropped
        EXPECT_TRUE(row.why != std::string("the window closes") || !channel.AskYesNo("Again?"));
    }
}

// While unallocated space is searched the window shows how much of it has been read in place of
// a path; the files examined stay as counted.
TEST(ScanChannel, CarvingProgressInPlaceOfThePath) {
    const struct { std::uint64_t read, total; std::string path; } rows[] = {
        {0, 5 << 20, "disk.img, partition 2, unallocated space: 0 of 5 MB read"},
        {(1234ull << 20) + 1, 40'960ull << 20, "disk.img, partition 2, unallocated space: 1,234 of 40,960 MB read"}};
    for (const auto& row : rows) {
        ScanChannel channel({});
        channel.ShowPath("d/a.jpg");
        channel.CarvingProgress("disk.img, partition 2", row.read, row.total);
        const ScanProgress progress = channel.TakeProgress();
        EXPECT_EQ(progress.path + (progress.pathNew ? "" : " (old)") + " | " + std::to_string(progress.filesExamined), row.path + " | 1");
    }
}

// Each handler of the idle window, and the chosen source and output folders after it. Each
// chooser is titled for what it chooses, opens at the last choice, and a cancel keeps it. A
// stopped START shows its message alone; a START that would change access times asks first, of
// the root it would search.
TEST_F(MainWindowLogicTest, HandlersOfTheIdleWindow) {
    using F = MainWindowLogic;
    const std::string source = "browse Choose the folder to search: at ", output = "browse Choose where the run folder goes: at ";
    Log loaded = {"text TitleLabel Snapsift v" SNAPSIFT_VERSION, "height 4770"};
#ifdef SNAPSIFT_IMAGES
    loaded.push_back("images + Add disk image... select -1");
#endif
    const struct { const char* why; void (F::*handler)(); bool profiles; std::string source, answer, after; Log log;
                   std::string output = "/o/"; AccessTimeForecast forecast = AccessTimeForecast::Kept; } rows[] = {
        {"load", &F::OnLoad, true, "/s/", "", "/s/ /o/", loaded},
        {"source chosen", &F::OnSourceBrowseClicked, false, "/s/", "/a/", "/a/ /o/", {source + "/s/", "text SourceFolderBox /a/"}},
        {"source cancelled", &F::OnSourceBrowseClicked, false, "/s/", "", "/s/ /o/", {source + "/s/", "text SourceFolderBox /s/"}},
        {"nothing chosen yet", &F::OnSourceBrowseClicked, false, "", "", " /o/", {source}},
        {"output chosen", &F::OnOutputBrowseClicked, false, "/s/", "E:\\", "/s/ E:\\", {output + "/o/", "text OutputFolderBox E:\\"}},
        {"output cancelled", &F::OnOutputBrowseClicked, false, "/s/", "", "/s/ /o/", {output + "/o/", "text OutputFolderBox /o/"}},
        {"start on a drive, times change", &F::OnStartClicked, true, "", "", " /o/",
         {"forecast " + std::string(1, kSeparator), "question " + AccessTimeQuestion() + " [No]"}, "/o/", AccessTimeForecast::OthersFilesChange},
        {"start, no source, times change", &F::OnStartClicked, false, "", "", " /o/", {"message Please choose a folder to search."},
         "/o/", AccessTimeForecast::OthersFilesChange}};
    for (const auto& row : rows) {
        log.clear();
        checked[Control::ProfileFoldersOnly] = row.profiles;
        chosen = row.answer;
        state = {row.source, row.output};
        forecast = row.forecast;
        (logic.*row.handler)();
        RunUntil([this] { return !logic.Running(); });
        EXPECT_EQ(log, row.log) << row.why;
        EXPECT_EQ(state.sourceFolder + " " + state.outputFolder, row.after) << row.why;
    }
}

TEST(FolderPathFromChooser, EndsInExactlyOneSeparator) {
    const struct { const char* chosen; char separator; const char* expected; } rows[] = {
        {"D:\\Cases", '\\', "D:\\Cases\\"}, {"E:\\", '\\', "E:\\"}, {"", '\\', ""},
        {"/media/x", '/', "/media/x/"},    {"/media/x/", '/', "/media/x/"}, {"/", '/', "/"}};
    for (const auto& row : rows) EXPECT_EQ(FolderPathFromChooser(row.chosen, row.separator), row.expected);
}

// Each setting comes from its control as START reads it; before the final message the caption
// counts the files examined and found (on a clock that moves 300 ms at each reading). File > Open
// Last Report and Open Last Summary open nothing before a run, and name a file the system cannot
// open.
TEST_F(MainWindowLogicTest, ScanTakesItsSettingsAtStart) {
    logic.OnOpenLastReportChosen();
    logic.OnOpenLastSummaryChosen();
    EXPECT_TRUE(opened.empty());
    const struct { const char* why; bool profiles, subfolders, photos; int found, copies; const char* counted; } rows[] = {
        {"a folder and its subfolders", false, true, true, 2, 2, "2 files, 2 found"},
        {"a folder alone", false, false, true, 1, 1, "1 file, 1 found"},
        {"no photos", false, true, false, 2, 0, "2 files, 2 found"},
        {"the profiles of the selected drive", true, true, true, 1, 1, "1 file, 1 found"}};
    clockStepNs = 300'000'000;
    tree.Entries({{"source/n1234567_890_123[1].jpg", kJpeg}, {"source/sub/n7654321_1_2[1].jpg", kJpeg},
                  {"Users/ana/n2345678_1_2[1].jpg", kJpeg}});
    drivePrefix = WithoutTrailingSeparators(tree.RootText());
    for (const auto& row : rows) {
        checked = {{Control::ProfileFoldersOnly, row.profiles}, {Control::SearchSubfolders, row.subfolders}, {Control::IncludePhotos, row.photos}};
        const auto files = Scan();
        // The final message; the report's path, a file that exists, as "<report>".
        EXPECT_EQ(Only({"message"}), Log{"message Operation complete.\r\n\r\nTotal files found: " + std::to_string(row.found) +
                                         "\r\nReport: <report>\r\nSummary: <summary>"}) << row.why;
        EXPECT_EQ(files, row.copies + 6) << row.why;  // and the report, its CSV, timeline, summary's two and SHA256SUMS
        EXPECT_TRUE(captions[captions.size() - 2].starts_with("Snapsift - " + std::string(row.counted) + ", "))
            << row.why << ": " << captions[captions.size() - 2];
    }
    openable = false;
    log.clear();
    logic.OnOpenLastReportChosen();
    logic.OnOpenLastSummaryChosen();
    EXPECT_EQ(log, (Log{"message The report could not be opened:\r\n\r\n" + opened.at(0),
                        "message The summary could not be opened:\r\n\r\n" + opened.at(1)}));
    EXPECT_EQ(opened.at(1), opened.at(0).substr(0, opened.at(0).size() - 21) + "Quorvia user IDs.htm");
}

// A box in the running look: a per-file problem says how to go on, the caption still counting;
// the final message comes under the window's own caption; others show as they are.
TEST_F(MainWindowLogicTest, MessagesAsTheirBoxesShowThem) {
    const std::string counting = "Snapsift - 0 files, 0 found, 0:00";
    const struct { MessageKind kind; std::string text, added, caption; } rows[] = {
        {MessageKind::FileProblem, "Error copying file: /e/a.jpg. Error number: 5 (Input/output error).", " Click OK to continue.", counting},
        {MessageKind::FileProblem, "Error opening file: /e/b.jpg. Click OK to continue.", "", counting},
        {MessageKind::Final, "Operation complete.\r\n\r\nTotal files found: 35", "", "Snapsift"},
        {MessageKind::Information, "Help.", "", counting}};
    for (const auto& row : rows) {
        logic.SetRunningLook(true);
        log.clear();
        logic.ShowMessage(row.text, row.kind);
        EXPECT_EQ(Only({"message"}), Log{"message " + row.text + row.added}) << row.text;
        EXPECT_EQ(captionAtBox.back() + (logic.SetRunningLook(false), " " + captions.back()), row.caption + " Snapsift") << row.text;
    }
}

#ifndef _WIN32
// The forecast against what the evidence opens find, on a volume that moves access times: root
// (or CAP_FOWNER) keeps them, anyone else reads another owner's file without; and on a volume
// mounted read-only (where the test may mount one) nothing moves, whoever reads.
TEST(AccessTimeForecast, AgreesWithTheEvidenceOpens) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own a file the test's user does not";
    TempTree tree;
    tree.File("photo.jpg", kJpeg);
    const std::string root = tree.RootText(), readOnly = tree.Folder("readonly");
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0755), 0);
    const bool mounted = ::mount("tmpfs", readOnly.c_str(), "tmpfs", 0, "mode=755") == 0;
    if (mounted) std::ofstream(readOnly + "photo.jpg", std::ios::binary) << kJpeg;
    ASSERT_TRUE(!mounted || ::mount(nullptr, readOnly.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);
    const auto forecastAndOpen = [&](const std::string& at) {
        EvidenceFile file;
        return std::string(ForecastAccessTimes(at) == AccessTimeForecast::Kept ? "kept" : "change") +
               (file.Open(at + "photo.jpg") && file.AccessTimeKept() ? ", open keeps; " : ", open moves; ");
    };
    const std::string got =
        forecastAndOpen(root) + AsOrdinaryUser([&] { return forecastAndOpen(root) + (mounted ? forecastAndOpen(readOnly) : ""); });
    if (mounted) ::umount2(readOnly.c_str(), MNT_DETACH);
    EXPECT_EQ(got, std::string("kept, open keeps; change, open moves; ") + (mounted ? "kept, open keeps; " : ""));
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

#ifdef SNAPSIFT_IMAGES
// Disk images made for the test: profiles.img with a photo below Users, bob.img with one below
// Documents and Settings, empty.img with neither, and disk.img holding the three as its
// partitions 1 (empty), 2 (profiles) and 3 (bob). Each partition holding a profile folder becomes
// an entry, the first of them selected; an image listed already is selected again; an image that
// cannot be read or has no such partition is refused with a message. The chooser opens at the
// image chosen last. A scan reads the selected image entry's volume, in profile mode only.
TEST_F(MainWindowLogicTest, DiskImagesInTheDriveList) {
    if (const std::string why = WhyNoNtfsVolumes({"sfdisk"}); !why.empty()) GTEST_SKIP() << why;
    const auto image = [this](const char* name) { return tree.Text(std::string("i/") + name); };
    const std::string m = tree.Folder("i/m"), disk = Quote(image("disk.img"));
    ASSERT_TRUE(MakeNtfsVolume(image("empty.img"), 8, {}, m) &&
                MakeNtfsVolume(image("profiles.img"), 8, {{"Users/ana/Cache/n1234567_890_123[1].jpg", kJpeg}}, m) &&
                MakeNtfsVolume(image("bob.img"), 8, {{"Documents and Settings/bob/n7654321_1_2[1].jpg", kJpeg}}, m));
    ASSERT_EQ(Shell("truncate -s 26M " + disk + " && printf 'label: dos\\nstart=2048, size=16384, type=7\\n"
                    "start=18432, size=16384, type=7\\nstart=34816, size=16384, type=7\\n' | sfdisk -q " + disk), 0);
    for (const auto& [volume, sector] : {std::pair{"empty.img", 2048}, {"profiles.img", 18432}, {"bob.img", 34816}})
        ASSERT_EQ(Shell("dd if=" + Quote(image(volume)) + " of=" + disk + " bs=512 seek=" + std::to_string(sector) +
                        " conv=notrunc status=none"), 0);
    tree.File("i/junk.bin", std::string(100000, 'x'));
    const std::string choose = "choose Choose a disk image: (*.dd *.raw *.img *.001 *.E01 *.e01) at ";
    const std::string refused = "message The disk image could not be added.\r\n\r\n";
    const std::string entries = "images disk.img, partition 2 [NTFS] | disk.img, partition 3 [NTFS]";
    // The user's selection (or the mode) shows "Also search unallocated space" for an image entry
    // alone; checked, the scan reads the entry's partition's unallocated space after its files.
    const std::string none = "no box | the live file system";
    const struct { const char* why; std::string chosen; Log log; int selected = -1; std::string searched;
                   bool profiles = true, carve = false; } rows[] = {
        {"not an image", image("junk.bin"), {choose, refused + "Not a disk image with a partition table or a file "
                                                 "system that can be read: " + image("junk.bin")}, -1, none, true, true},
        {"cancelled", "", {choose + image("junk.bin")}, -1, none},
        {"no profile folder", image("empty.img"), {choose + image("junk.bin"), refused + "The disk image has no NTFS "
             "partition with a \"Users\" or \"Documents and Settings\" folder: " + image("empty.img")}, -1, none},
        {"bare file system", image("profiles.img"), {choose + image("empty.img"), "images profiles.img [NTFS] + Add disk image... select 0"}, -1, none},
        {"whole disk", image("disk.img"), {choose + image("profiles.img"), "images profiles.img [NTFS] | " + entries.substr(7) +
             " + Add disk image... select 1"}, 1, "box | disk.img, partition 2: in " + image("disk.img")},
        {"listed already, unallocated space too", image("profiles.img"), {choose + image("disk.img"), "images profiles.img [NTFS] | " +
             entries.substr(7) + " + Add disk image... select 0"}, 2, "box | disk.img, partition 3: in " + image("disk.img") +
             " + disk.img, partition 3, 4096-byte clusters, all read", true, true},
        {"folder mode", "", {choose + image("profiles.img")}, 2, none, false, true}};
    for (const auto& row : rows) {
        log.clear();
        chosen = row.chosen;
        logic.OnAddImageChosen();
        EXPECT_EQ(log, row.log) << row.why;
        checked[Control::ProfileFoldersOnly] = row.profiles, checked[Control::SearchUnallocated] = row.carve;
        selectedImage = row.selected;
        row.profiles ? logic.OnDriveSelected() : logic.OnProfileModeClicked();
        const ImageSource* source = logic.Image();
        std::string searched = source == nullptr ? "the live file system" : source->volumes.size() != 1 ? "volumes: " + std::to_string(source->volumes.size())
                                   : source->volumes[0]->DriveRoot() + "in " + source->facts.path;
        for (const UnallocatedArea& area : source == nullptr ? std::vector<UnallocatedArea>{} : source->unallocated) {
            const auto whole = [](const UnallocatedWindow& window) { return window.bytes.size(); };
            searched += " + " + area.name + ", " + std::to_string(area.clusterSize) + "-byte clusters, " +
                        (area.walk(1 << 20, whole, {}).bytesRead == area.bytes ? "all read" : "not all read");
        }
        EXPECT_EQ((shown[Control::SearchUnallocated] ? "box | " : "no box | ") + searched, row.searched) << row.why;
    }
}
#endif

}  // namespace snapsift::test
