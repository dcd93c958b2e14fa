// The main window's rules against a view that records every change in order, answers the
// chooser and the questions from a script and runs on a driven clock. Scans are real, over
// temporary trees.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/Paths.h"
#include "support/TempTree.h"
#include "window/FolderChoice.h"
#include "window/Form1Logic.h"

namespace snapsift::test {

namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;
constexpr char kJpeg[] = "\xFF\xD8\xFF\xE0 photo bytes";

// Logs "show X", "hide X", "enable X", "disable X", "text X ...", "height N", "message ...",
// "question ...", "browse TITLE at START", "about", "close refused" or "closed", and "turn".
struct RecordingView : FormView {
    Form1Logic* logic = nullptr;
    Log log;
    std::map<Control, bool> checked = {{Control::chkPro, true}, {Control::chkSubs, true}, {Control::chkIncl, true}};
    std::string drivePrefix;
    std::deque<std::string> chosen;  // chooser answers, then ""
    std::deque<bool> answers;        // Yes/No answers, then No
    std::int64_t nowNs = 0;
    int turns = 0;
    std::function<void(int)> onTurn = [](int) {};

    void Add(std::string_view what, Control c) { log.push_back(std::string(what) + std::string(ControlName(c))); }
    void SetVisible(Control c, bool visible) override { Add(visible ? "show " : "hide ", c); }
    void SetEnabled(Control c, bool enabled) override { Add(enabled ? "enable " : "disable ", c); }
    void SetText(Control c, const std::string& text) override { Add("text ", c), log.back() += " " + text; }
    bool IsChecked(Control c) const override { return checked.at(c); }
    std::string SelectedDrivePrefix() const override { return drivePrefix; }
    void SetClientHeight(int twips) override { log.push_back("height " + std::to_string(twips)); }
    void ShowMessage(std::string_view text) override { log.push_back("message " + std::string(text)); }
    bool AskYesNo(std::string_view text) override {
        log.push_back("question " + std::string(text));
        const bool yes = !answers.empty() && answers.front();
        if (!answers.empty()) answers.pop_front();
        return yes;
    }
    std::string BrowseFolder(std::string_view title, const std::string& start) override {
        log.push_back("browse " + std::string(title) + " at " + start);
        std::string folder = chosen.empty() ? "" : chosen.front();
        if (!chosen.empty()) chosen.pop_front();
        return folder;
    }
    void ShowAbout() override { log.push_back("about"); }
    void Close() override { log.push_back(logic->Form_QueryUnload() ? "close refused" : "closed"); }
    void Turn(std::int64_t) override { log.push_back("turn"), onTurn(++turns); }
    std::int64_t NowNs() const override { return nowNs; }
};

std::string Total(const char* outcome, int total) {
    return "message Operation " + std::string(outcome) + ".\r\n\r\nTotal files found: " + std::to_string(total);
}

const Log kRunningLook = {"disable chkPro", "show Frame1",      "disable cmdOut",  "disable cmdSource", "hide cmdSTART",
                          "show cmdABORT",  "disable chkSubs", "disable chkIncl", "disable Command1",  "height 6270"};
const Log kIdleLook = {"enable chkPro", "enable chkIncl", "enable chkSubs", "enable cmdOut", "enable cmdSource",
                       "show cmdSTART", "hide cmdABORT",  "hide Frame1",    "enable Command1", "height 4770"};

class Form1LogicTest : public ::testing::Test {
protected:
    ScanState state;
    RecordingView view;
    Form1Logic logic{view, state};
    TempTree tree;

    void SetUp() override { view.logic = &logic; }

    // The log entries that start with one of the prefixes.
    Log Only(std::initializer_list<std::string_view> prefixes) const {
        Log kept;
        for (const std::string& entry : view.log)
            for (std::string_view prefix : prefixes)
                if (entry.starts_with(prefix)) kept.push_back(entry);
        return kept;
    }
    // Folder mode over source/ (with subfolders) into output/, both chosen.
    void ChooseFolders(std::string_view output = "out") {
        view.checked[Control::chkPro] = false;
        tree.Folder(output);
        state.SourceFolder = AddBackslash(tree.Text("source"));
        state.OutputFolder = AddBackslash(tree.Text(output));
    }
};

TEST_F(Form1LogicTest, LoadingPutsUpTheTitleAndCutsOffTheProgressFrame) {
    logic.Form_Load();
    EXPECT_EQ(view.log, (Log{"text Label1 Snapsift v" SNAPSIFT_VERSION, "height 4770"}));
}

// Only visibility changes: the choices, the subfolder box and the drive stay as they were.
TEST_F(Form1LogicTest, ProfileModeSwitchesWhatIsShown) {
    const struct { bool checked; Log log; } rows[] = {
        {true, {"hide cmdSource", "show Drive1", "hide txtSource", "hide chkSubs"}},
        {false, {"hide Drive1", "show txtSource", "show chkSubs", "show cmdSource"}}};
    state.SourceFolder = "/data/case/";
    for (const auto& row : rows) {
        view.log.clear();
        view.checked[Control::chkPro] = row.checked;
        logic.chkPro_Click();
        EXPECT_EQ(view.log, row.log) << row.checked;
        EXPECT_EQ(state.SourceFolder, "/data/case/");
    }
}

TEST_F(Form1LogicTest, BrowseOpensAtTheLastChoiceAndACancelKeepsIt) {
    const struct { const char* why; bool output; std::string before, answer; Log log; std::string after; } rows[] = {
        {"source chosen", false, "", "/a/", {"browse Choose a folder: at ", "text txtSource /a/"}, "/a/"},
        {"source cancelled", false, "/a/", "", {"browse Choose a folder: at /a/", "text txtSource /a/"}, "/a/"},
        {"nothing chosen yet", false, "", "", {"browse Choose a folder: at "}, ""},
        {"output chosen again", true, "/a/", "E:\\", {"browse Choose a folder: at /a/", "text txtOut E:\\"}, "E:\\"},
        {"output cancelled", true, "/b/", "", {"browse Choose a folder: at /b/", "text txtOut /b/"}, "/b/"}};
    for (const auto& row : rows) {
        view.log.clear(), view.chosen = {row.answer};
        std::string& folder = row.output ? state.OutputFolder : state.SourceFolder;
        folder = row.before;
        row.output ? logic.cmdOut_Click() : logic.cmdSource_Click();
        EXPECT_EQ(view.log, row.log) << row.why;
        EXPECT_EQ(folder, row.after) << row.why;
    }
}

TEST(FolderPathFromChooser, EndsInExactlyOneSeparator) {
    const struct { const char* chosen; char separator; const char* expected; } rows[] = {
        {"D:\\Cases", '\\', "D:\\Cases\\"}, {"E:\\", '\\', "E:\\"}, {"", '\\', ""},
        {"\\\\server\\share", '\\', "\\\\server\\share\\"}, {"/media/x", '/', "/media/x/"},
        {"/media/x/", '/', "/media/x/"}, {"/", '/', "/"}, {"", '/', ""},
        {"/home/ana/Fotos \xC3\xB1", '/', "/home/ana/Fotos \xC3\xB1/"}};
    for (const auto& row : rows) EXPECT_EQ(FolderPathFromChooser(row.chosen, row.separator), row.expected) << row.chosen;
}

TEST_F(Form1LogicTest, HelpTextIsOneMessage) {
    logic.Command1_Click();
    EXPECT_EQ(view.log, (Log{
        "message If \"Only Search User Profile Folders On Selected Drive\" is checked, only the user profile folders "
        "('Documents and Settings' in XP, or 'Users' in Vista/7) will be searched. This greatly reduces the search "
        "time and is usually all that is needed since Quorvia JPG files are generally only found in the Temporary "
        "Internet Files.\r\n\r\nIf \"Only Search User Profile Folders On Selected Drive\" is NOT checked, you will "
        "have the option of selecting a specific folder to search, with (optionally) all sub-folders as well."}));
}

// A stopped START shows its message and nothing else: the window stays idle, no folder is made.
TEST_F(Form1LogicTest, StartStopsWithItsMessage) {
    const char* selfTest = "message Internal calculation error!! Can not continue.";
    const struct { const char* why; bool badDigest, folderMode; const char *source, *output, *message; } rows[] = {
        {"self-test", true, false, nullptr, "out", selfTest},
        {"self-test before the checks", true, true, nullptr, nullptr, selfTest},
        {"no source", false, true, nullptr, "out", "message Please choose a folder to search."},
        {"no output", false, true, "source", nullptr, "message Please choose an output folder."},
        {"no output, profiles", false, false, nullptr, nullptr, "message Please choose an output folder."},
        {"output folder gone", false, true, "source", "gone", "message Error creating output folder."}};
    tree.Entries({{"source/", ""}, {"out/", ""}});
    for (const auto& row : rows) {
        view.log.clear(), view.checked[Control::chkPro] = !row.folderMode;
        ScanEnvironment environment;
        if (row.badDigest) environment.selfTestDigest = [](std::string_view) { return std::string(32, '0'); };
        logic.SetScanEnvironment(environment);
        state.SourceFolder = row.source ? AddBackslash(tree.Text(row.source)) : "";
        state.OutputFolder = row.output ? AddBackslash(tree.Text(row.output)) : "";
        logic.cmdSTART_Click();
        EXPECT_EQ(view.log, Log{row.message}) << row.why;
        EXPECT_TRUE(fs::is_empty(tree.Path("out")) && !fs::exists(tree.Path("gone"))) << row.why;
    }
}

// The final message comes in the running look, with lblFile brought up to date before it.
TEST_F(Form1LogicTest, ScanRunsInTheRunningLookAndEndsIdle) {
    tree.Entries({{"source/n1234567_890_123[1].jpg", kJpeg}, {"source/sub/n7654321_1_2[1].jpg", kJpeg}});
    ChooseFolders();
    logic.cmdSTART_Click();
    Log expected = kRunningLook;
    for (const std::string& entry :
         {"text lblFile " + tree.Text("source/n1234567_890_123[1].jpg"), std::string("turn"), std::string("turn"),
          "text lblFile " + tree.Text("source/sub/n7654321_1_2[1].jpg"), Total("complete", 2)})
        expected.push_back(entry);
    expected.insert(expected.end(), kIdleLook.begin(), kIdleLook.end());
    EXPECT_EQ(view.log, expected);
}

TEST_F(Form1LogicTest, ScanTakesItsSettingsFromTheView) {
    const struct { const char* why; bool profiles, subfolders, photos; int found, copies; } rows[] = {
        {"a folder and its subfolders", false, true, true, 2, 2}, {"a folder alone", false, false, true, 1, 1},
        {"no photos", false, true, false, 2, 0}, {"the profiles of the selected drive", true, true, true, 1, 1}};
    tree.Entries({{"source/n1234567_890_123[1].jpg", kJpeg}, {"source/sub/n7654321_1_2[1].jpg", kJpeg},
                  {"Users/ana/n2345678_1_2[1].jpg", kJpeg}});
    view.drivePrefix = WithoutTrailingSeparators(tree.RootText());
    int run = 0;
    for (const auto& row : rows) {
        const std::string output = "out" + std::to_string(++run);
        ChooseFolders(output);
        view.log.clear();
        view.checked = {{Control::chkPro, row.profiles}, {Control::chkSubs, row.subfolders},
                        {Control::chkIncl, row.photos}};
        logic.cmdSTART_Click();
        EXPECT_EQ(Only({"message"}), Log{Total("complete", row.found)}) << row.why;
        const fs::path runFolder = *fs::directory_iterator(tree.Path(output));
        EXPECT_EQ(std::distance(fs::directory_iterator(runFolder), {}), row.copies + 1) << row.why;
    }
}

TEST_F(Form1LogicTest, CloseIsRefusedDuringAScanAndAllowedAfter) {
    tree.File("source/n1234567_890_123[1].jpg", kJpeg);
    ChooseFolders();
    view.onTurn = [&](int) { logic.mnuExit_Click(); };
    logic.cmdSTART_Click();
    logic.mnuExit_Click();
    EXPECT_EQ(Only({"height", "close", "message"}),
              (Log{"height 6270", "close refused", Total("complete", 1), "height 4770", "closed"}));
}

TEST_F(Form1LogicTest, AboutOpensDuringAScan) {
    tree.File("source/n1234567_890_123[1].jpg", kJpeg);
    ChooseFolders();
    view.onTurn = [&](int) { logic.mnuAbout_Click(); };
    logic.cmdSTART_Click();
    EXPECT_EQ(Only({"height", "about", "message"}), (Log{"height 6270", "about", Total("complete", 1), "height 4770"}));
}

// ABORT pressed during the third file's turn: Yes ends the walk before the fourth file.
TEST_F(Form1LogicTest, AbortAsksAndOnlyYesStopsTheScan) {
    const struct { bool yes; std::string total; } rows[] = {{true, Total("aborted", 3)}, {false, Total("complete", 20)}};
    for (int i = 0; i < 20; ++i) tree.File("source/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kJpeg);
    int run = 0;
    for (const auto& row : rows) {
        ChooseFolders("out" + std::to_string(++run));
        view.log.clear(), view.turns = 0, view.answers = {row.yes};
        view.onTurn = [&](int turn) { if (turn == 3) logic.cmdABORT_Click(); };
        logic.cmdSTART_Click();
        EXPECT_EQ(Only({"question", "message"}),
                  (Log{"question Are you sure you want to cancel this operation?", row.total}));
        EXPECT_EQ(state.AbortRequested, row.yes);
    }
}

TEST_F(Form1LogicTest, PathOnShowChangesAtMostEvery25ms) {
    const struct { int ms; const char* path; } files[] = {{0, "a"}, {10, "b"}, {24, "c"}, {25, "d"}, {49, "e"}, {50, "f"}};
    for (const auto& file : files) {
        view.nowNs = file.ms * 1'000'000LL;
        logic.ShowPath(file.path);
        logic.Yield();
    }
    EXPECT_EQ(view.log, (Log{"text lblFile a", "turn", "turn", "turn", "text lblFile d", "turn", "turn",
                             "text lblFile f", "turn"}));
}

TEST_F(Form1LogicTest, PathOnShowIsBroughtUpToDateBeforeBoxesAndTheIdleLook) {
    const struct { const char* before; std::function<void()> act; std::string next; } rows[] = {
        {"a message", [&] { logic.ShowMessage("x", MessageKind::FileProblem); }, "message x"},
        {"a question", [&] { logic.AskYesNo("y"); }, "question y"},
        {"ABORT's question", [&] { logic.cmdABORT_Click(); }, "question Are you sure you want to cancel this operation?"},
        {"the idle look", [&] { logic.SetRunningLook(false); }, "enable chkPro"}};
    for (const auto& row : rows) {
        view.log.clear(), view.nowNs += 1'000'000'000;
        for (const char* path : {"a", "b"}) logic.ShowPath(path), logic.Yield();
        row.act();
        view.log.resize(5);
        EXPECT_EQ(view.log, (Log{"text lblFile a", "turn", "turn", "text lblFile b", row.next})) << row.before;
    }
}

}  // namespace

}  // namespace snapsift::test
