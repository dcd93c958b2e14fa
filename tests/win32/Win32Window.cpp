// The Windows main window driven from inside, under Wine: the real window with its native
// controls, clicked with BM_CLICK and keys, every message box and folder chooser answered by a
// hook as it opens. Scans are real, over temporary trees.
#include <windows.h>
#undef Yield

#include <commctrl.h>
#include <ole2.h>

#include <deque>
#include <memory>
#include <set>
#include <tuple>

#include "core/Fixtures.h"
#include "platform/WideText.h"
#include "win32/AboutBox.h"
#include "win32/Form1Window.h"
#include "win32/MessageLoop.h"

namespace snapsift::test {

namespace {

// A system dialog as it opened: caption, text and the buttons it offered.
using Box = std::tuple<std::string, std::string, std::set<int>>;

std::string WindowText(HWND window) {
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return Utf8FromWide(text);
}
std::pair<LONG, LONG> ClientSize(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

// Every system dialog (#32770) that opens on this thread, noted by a hook (TakeDialog) that
// presses the next answer queued, or OK (else No, else Cancel) when none is.
struct DialogLog {
    std::deque<int> answers;
    std::vector<Box> boxes;
    std::function<void()> onBox;  // called as each box opens
    std::set<HWND> taken;
    struct { HWND tree; int answer; LRESULT caret; int steady; } settling{};
} dialogs;

// A folder chooser moves its selection to the start folder one level at a time: its answer
// waits until the selection has stayed put for 100 ms.
void CALLBACK Settle(HWND dialog, UINT, UINT_PTR timer, DWORD) {
    auto& wait = dialogs.settling;
    const LRESULT caret = SendMessageW(wait.tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    wait.steady = caret == wait.caret ? wait.steady + 1 : 0;
    wait.caret = caret;
    if (wait.steady < 4) return;
    KillTimer(dialog, timer);
    PostMessageW(GetDlgItem(dialog, wait.answer), BM_CLICK, 0, 0);
}

LRESULT CALLBACK TakeDialog(int code, WPARAM wParam, LPARAM lParam) {
    const auto dialog = reinterpret_cast<HWND>(wParam);
    wchar_t windowClass[16] = {};
    if (code == HCBT_ACTIVATE && GetClassNameW(dialog, windowClass, 16) && lstrcmpW(windowClass, L"#32770") == 0 &&
        dialogs.taken.insert(dialog).second) {
        std::set<int> buttons;
        for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
            if ((GetWindowLongPtrW(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0) buttons.insert(id);
        }
        dialogs.boxes.emplace_back(WindowText(dialog), WindowText(GetDlgItem(dialog, 0xFFFF)), buttons);  // its text
        if (dialogs.onBox) dialogs.onBox();
        int answer = dialogs.answers.empty() ? IDOK : dialogs.answers.front();
        if (!dialogs.answers.empty()) dialogs.answers.pop_front();
        for (int fallback : {IDOK, IDNO, IDCANCEL}) answer = buttons.contains(answer) ? answer : fallback;
        if (const HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr); tree != nullptr) {
            dialogs.settling = {tree, answer, 0, 0};
            SetTimer(dialog, 1, 25, Settle);
        } else {
            PostMessageW(GetDlgItem(dialog, answer), BM_CLICK, 0, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

constexpr char kJpeg[] = "\xFF\xD8\xFF\xE0 photo bytes";
Box Message(const std::string& text) { return {"Snapsift", text, {IDOK}}; }
const std::string kHelp =
    "If \"Only Search User Profile Folders On Selected Drive\" is checked, only the user profile folders ('Documents "
    "and Settings' in XP, or 'Users' in Vista/7) will be searched. This greatly reduces the search time and is usually "
    "all that is needed since Quorvia JPG files are generally only found in the Temporary Internet Files.\r\n\r\nIf "
    "\"Only Search User Profile Folders On Selected Drive\" is NOT checked, you will have the option of selecting a "
    "specific folder to search, with (optionally) all sub-folders as well.";
Box Total(const char* outcome, int total) {
    return Message("Operation " + std::string(outcome) + ".\r\n\r\nTotal files found: " + std::to_string(total));
}

// Every file's three times: 2010-03-15 14:05:09 UTC (reading a file under Wine moves its access time).
void SetTimes(const fs::path& file) {
    const SYSTEMTIME at{2010, 3, 1, 15, 14, 5, 9, 0};
    FILETIME time{};
    SystemTimeToFileTime(&at, &time);
    const HANDLE handle = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(SetFileTime(handle, &time, &time, &time)) << file;  // false as well when the file did not open
    CloseHandle(handle);
}

}  // namespace

class Win32WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs = {};
        SetCurrentDirectoryW(L"C:\\");  // the drive list starts at the current drive
        window = std::make_unique<Form1Window>(state, [this](const std::wstring& url) { opened.push_back(url); });
        window->QuitWhenClosed(false);
        window->Show();
        PumpPendingMessages();
    }

    HWND Item(Control control) const { return window->Item(control); }
    void Click(Control control) const { SendMessageW(Item(control), BM_CLICK, 0, 0); }
    HWND Main() const { return window->Handle(); }
    bool Shown(Control control) const { return IsWindowVisible(Item(control)) != 0; }
    PixelRect Place(HWND control) const {
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&rect), 2);
        return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    }
    std::pair<LONG, LONG> Font(HWND control) const {  // height and weight
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        return {font.lfHeight, font.lfWeight};
    }
    // Folder mode over src/ of the tree, into a new folder out<N>/, on the fixed clock.
    void ChooseFolders(const std::string& output) {
        tree.Folder(output);
        if (IsChecked(Control::chkPro)) Click(Control::chkPro);
        state.SourceFolder = WithTrailingSeparator(tree.Text("src"));
        state.OutputFolder = WithTrailingSeparator(tree.Text(output));
        window->Logic().SetScanEnvironment(environment);
    }
    bool IsChecked(Control control) const { return SendMessageW(Item(control), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void AddPhotos(int count) {
        for (int i = 0; i < count; ++i) tree.File("src/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kJpeg);
    }

    ScanState state;
    TempTree tree;
    ScanEnvironment environment{[] { return DateTime{2010, 3, 5, 9, 7, 3}; }, nullptr};
    std::vector<std::wstring> opened;
    std::unique_ptr<Form1Window> window;
};

// The window as it opens at 96 DPI: caption, client size with the progress frame cut off, a
// fixed border with a minimize button only, the two menus; then each control: kind, text, shown
// and enabled, place in the client area (15 twips a pixel), font height and weight, and the text
// colour it asks for (dark blue labels, read-only boxes drawn as boxes that can be written).
TEST_F(Win32WindowTest, FirstLookAt96Dpi) {
    EXPECT_EQ(WindowText(Main()), "Snapsift");
    EXPECT_EQ(ClientSize(Main()), (std::pair{466L, 318L}));
    EXPECT_EQ(GetWindowLongPtrW(Main(), GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), WS_MINIMIZEBOX);
    const HMENU bar = GetMenu(Main());
    std::string menus;
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        for (const auto& [menu, position] : {std::pair{bar, i}, std::pair{GetSubMenu(bar, i), 0}}) {
            wchar_t text[32] = {};
            GetMenuStringW(menu, static_cast<UINT>(position), text, 32, MF_BYPOSITION);
            menus += Utf8FromWide(text) + " ";
        }
    }
    EXPECT_EQ(menus, "File Exit Help About... ");
    const struct { Control control; const wchar_t* kind; const char* text; bool shown; PixelRect place; int height, weight; }
    rows[] = {
        {Control::Command1, L"Button", "?", true, {432, 85, 25, 25}, -13, FW_BOLD},
        {Control::chkPro, L"Button", "Only Search User Profile Folders On Selected Drive", true, {280, 80, 145, 33}, -11, FW_NORMAL},
        {Control::Drive1, L"ComboBox", "c:", true, {32, 120, 337, 24}, -13, FW_NORMAL},  // the current drive
        {Control::txtOut, L"Edit", "", true, {8, 216, 361, 25}, -11, FW_NORMAL},
        {Control::txtSource, L"Edit", "", false, {32, 120, 337, 25}, -11, FW_NORMAL},
        {Control::chkIncl, L"Button", "Include photos in report", true, {312, 277, 137, 17}, -11, FW_NORMAL},
        {Control::cmdABORT, L"Button", "ABORT", false, {144, 264, 153, 41}, -16, FW_BOLD},
        {Control::Frame1, L"Static", "", false, {0, 312, 465, 105}, 0, 0},  // draws no text
        {Control::lblFile, L"Edit", "", false, {8, 344, 449, 65}, -13, FW_NORMAL},
        {Control::Label7, L"Static", "Scanning:", false, {8, 323, 57, 17}, -11, FW_BOLD},
        {Control::cmdSTART, L"Button", "START", true, {144, 264, 153, 41}, -16, FW_BOLD},
        {Control::cmdOut, L"Button", "Browse", true, {376, 216, 81, 25}, -11, FW_NORMAL},
        {Control::chkSubs, L"Button", "Search subfolders", false, {192, 80, 73, 33}, -11, FW_NORMAL},
        {Control::cmdSource, L"Button", "Browse", false, {376, 120, 81, 25}, -11, FW_NORMAL},
        {Control::Line1, L"Static", "", true, {0, 160, 464, 1}, 0, 0},
        {Control::Label4, L"Static", "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to this folder, "
         "along with copies of all the located image files)", true, {160, 168, 249, 49}, -11, FW_NORMAL},
        {Control::Label5, L"Static", "Select an output folder:", true, {8, 192, 145, 17}, -11, FW_BOLD},
        {Control::Label3, L"Static", "Select a source:", true, {8, 96, 97, 17}, -11, FW_BOLD},
        {Control::Label2, L"Static", "Copyright (c) 2026 Snapsift Developers", true, {16, 41, 433, 25}, -16, FW_BOLD},
        {Control::Label1, L"Static", "Snapsift v" SNAPSIFT_VERSION, true, {16, 5, 433, 33}, -24, FW_BOLD}};
    const std::set<Control> blue = {Control::Label1, Control::Label2, Control::Label4},
                            boxes = {Control::txtOut, Control::txtSource, Control::lblFile};
    const HDC dc = CreateCompatibleDC(nullptr);
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(ControlName(row.control)));
        const HWND control = Item(row.control);
        SendMessageW(Main(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
        EXPECT_EQ(GetTextColor(dc), blue.contains(row.control) ? RGB(0, 0, 128) : GetSysColor(COLOR_WINDOWTEXT));
        if (boxes.contains(row.control)) {
            EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_WINDOW));
        }
        wchar_t kind[32] = {};
        GetClassNameW(control, kind, 32);
        EXPECT_EQ(lstrcmpiW(kind, row.kind), 0) << Utf8FromWide(kind);
        EXPECT_EQ(WindowText(control), row.text);
        EXPECT_EQ(Shown(row.control), row.shown);
        EXPECT_TRUE(IsWindowEnabled(control));
        EXPECT_EQ(Place(control), row.place);
        EXPECT_EQ(Font(control), (std::pair<LONG, LONG>{row.height, row.weight}));
    }
    DeleteDC(dc);
    EXPECT_TRUE(IsChecked(Control::chkPro) && IsChecked(Control::chkIncl) && IsChecked(Control::chkSubs));
}

// A new resolution places every control and its font again from the twips: 10 twips a pixel at 144 DPI.
TEST_F(Win32WindowTest, LaidOutAgainAt144Dpi) {
    RECT frame{};
    GetWindowRect(Main(), &frame);
    SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&frame));
    EXPECT_EQ(ClientSize(Main()), (std::pair{699L, 477L}));
    EXPECT_EQ(Place(Item(Control::Command1)), (PixelRect{648, 128, 38, 37}));
    EXPECT_EQ(Place(Item(Control::Drive1)), (PixelRect{48, 180, 506, 36}));
    EXPECT_EQ(Place(Item(Control::Label7)), (PixelRect{12, 484, 86, 26}));
    EXPECT_EQ(Font(Item(Control::Command1)).first, -20);
    EXPECT_EQ(Font(Item(Control::Label1)).first, -36);
}

// Tab goes through the controls shown, in the designed order, in either mode.
TEST_F(Win32WindowTest, TabOrder) {
    const auto tabs = [&] {
        std::string names;
        const HWND first = GetNextDlgTabItem(Main(), nullptr, FALSE);
        HWND at = first;
        do {
            names += std::string(ControlName(static_cast<Control>(GetDlgCtrlID(at) - ControlId(Control::Command1)))) + " ";
            at = GetNextDlgTabItem(Main(), at, FALSE);
        } while (at != first && names.size() < 200);
        return names;
    };
    EXPECT_EQ(tabs(), "cmdOut cmdSTART chkIncl txtOut Drive1 chkPro Command1 ");
    Click(Control::chkPro);
    EXPECT_EQ(tabs(), "cmdSource chkSubs cmdOut cmdSTART chkIncl txtSource txtOut chkPro Command1 ");
}

// Enter presses the button that has the focus (put on it directly, as a click does, without the
// dialog manager's default button following it); Esc does nothing to the window.
TEST_F(Win32WindowTest, EnterAndEsc) {
    SetFocus(Item(Control::Command1));
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        PostMessageW(Item(Control::Command1), WM_KEYDOWN, key, 0);
        PumpPendingMessages();
        EXPECT_NE(window->Handle(), nullptr) << key;
    }
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{Message(kHelp)});  // from Enter alone: Esc came first
}

// The shell's chooser opens at the folder chosen last; OK gives it back ending in one "\". (The
// folder is right under C:\: Wine's chooser does not always reach a start folder deeper down.)
TEST_F(Win32WindowTest, ChooserGivesTheFolder) {
    for (const char* folder : {"C:\\windows\\", "C:\\"}) {
        state.OutputFolder = folder;
        dialogs.boxes.clear();
        Click(Control::cmdOut);
        ASSERT_EQ(dialogs.boxes.size(), 1u) << folder;
        EXPECT_EQ(std::get<2>(dialogs.boxes[0]), (std::set<int>{IDOK, IDCANCEL})) << folder;
        EXPECT_EQ(WindowText(Item(Control::txtOut)), folder);
        EXPECT_EQ(state.OutputFolder, folder);
    }
}

// START clicked in folder mode: the progress frame uncovered while it runs; the report and the
// copies are those the scan run makes for the same settings, the last path stays in lblFile,
// and the window is idle again.
TEST_F(Win32WindowTest, ScanGivesTheScanRunsReport) {
    tree.Entries({{"src/n1234567_890_123[1].jpg", kJpeg}, {"src/sub/n7654321_1_2[1].jpg", kJpeg}, {"src/notes.txt", "x"}});
    const auto run = [&](const std::function<void()>& scan, const std::string& output) {
        for (const char* file : {"src/n1234567_890_123[1].jpg", "src/sub/n7654321_1_2[1].jpg"}) SetTimes(tree.Path(file));
        ChooseFolders(output);
        scan();
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(*fs::directory_iterator(tree.Path(output)))) {
            files[ToText(entry.path().filename())] = ReadBytes(entry);
        }
        return files;
    };
    std::string runningLook;  // as the final message opens: the progress frame and the client height
    dialogs.onBox = [&] {
        runningLook = std::to_string(Shown(Control::Frame1)) + std::to_string(Shown(Control::Label7)) +
                      std::to_string(Shown(Control::lblFile)) + " " + std::to_string(ClientSize(Main()).second);
    };
    const auto fromWindow = run([&] { Click(Control::cmdSTART); }, "window");
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{Total("complete", 2)});
    EXPECT_EQ(runningLook, "111 418");
    RecordingHost host(state);
    const auto fromScanRun = run([&] { RunScan(state, host, environment); }, "core");
    EXPECT_EQ(fromWindow, fromScanRun);
    EXPECT_EQ(fromWindow.size(), 3u);
    EXPECT_EQ(WindowText(Item(Control::lblFile)), host.shownPaths.back());
    EXPECT_TRUE(Shown(Control::cmdSTART) && !Shown(Control::cmdABORT) && !Shown(Control::Frame1) &&
                !Shown(Control::lblFile));
    EXPECT_TRUE(IsWindowEnabled(Item(Control::cmdOut)) && IsWindowEnabled(Item(Control::chkPro)));
}

// ABORT, clicked at the first file: Yes ends the walk after that file, No lets it go on.
TEST_F(Win32WindowTest, AbortAnsweredYesOrNo) {
    const Box question{"Snapsift", "Are you sure you want to cancel this operation?", {IDYES, IDNO}};
    const struct { int answer; Box total; const char* output; } rows[] = {{IDYES, Total("aborted", 1), "out1"},
                                                                          {IDNO, Total("complete", 5), "out2"}};
    AddPhotos(5);
    for (const auto& row : rows) {
        ChooseFolders(row.output);
        dialogs.boxes.clear();
        dialogs.answers = {row.answer, IDOK};
        PostMessageW(Item(Control::cmdABORT), BM_CLICK, 0, 0);
        Click(Control::cmdSTART);
        EXPECT_EQ(dialogs.boxes, (std::vector<Box>{question, row.total}));
    }
}

// While a scan runs, the close box and File > Exit are refused and Help > About... opens its box
// without holding the scan; after it, Exit closes the window and the About box stays.
TEST_F(Win32WindowTest, CloseRefusedAndAboutOpenDuringAScan) {
    AddPhotos(3);
    ChooseFolders("out");
    PostMessageW(Main(), WM_CLOSE, 0, 0);
    PostMessageW(Main(), WM_COMMAND, kMenuExit, 0);
    PostMessageW(Main(), WM_COMMAND, kMenuAbout, 0);
    Click(Control::cmdSTART);
    PumpPendingMessages();
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{Total("complete", 3)});
    ASSERT_NE(window->Handle(), nullptr);
    const HWND about = window->About().Handle();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(IsWindowVisible(about));
    SendMessageW(Main(), WM_COMMAND, kMenuExit, 0);
    EXPECT_EQ(window->Handle(), nullptr);
    EXPECT_TRUE(IsWindow(about));
}

// A scan's turn handles the waiting messages, then none until 2 ms of the logic's clock have passed.
TEST_F(Win32WindowTest, TurnHandlesMessagesAtMostEvery2ms) {
    const struct { std::int64_t ms; bool handled; } turns[] = {{1000, true}, {1001, false}, {1002, true}, {5, true}};
    for (const auto& turn : turns) {
        PostMessageW(Item(Control::chkIncl), BM_CLICK, 0, 0);
        const bool before = IsChecked(Control::chkIncl);
        window->Turn(turn.ms * 1'000'000);
        EXPECT_EQ(IsChecked(Control::chkIncl) != before, turn.handled) << turn.ms;
        PumpPendingMessages();
    }
}

// The About box: caption, title and version, a fixed border; both links show the hand and open
// the maker's page; Esc and Enter close it.
TEST_F(Win32WindowTest, AboutBox) {
    SendMessageW(Main(), WM_COMMAND, kMenuAbout, 0);
    HWND about = window->About().Handle();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(WindowText(about), "About Snapsift");
    EXPECT_EQ(WindowText(GetDlgItem(about, kAboutTitle)), "Snapsift");
    EXPECT_EQ(WindowText(GetDlgItem(about, kAboutVersion)), "Version " SNAPSIFT_VERSION);
    EXPECT_EQ(GetWindowLongPtrW(about, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_EQ(ClientSize(about), (std::pair{382L, 255L}));
    for (int link : {kAboutCopyright, kAboutAddress}) {
        const HWND label = GetDlgItem(about, link);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        SendMessageW(about, WM_SETCURSOR, reinterpret_cast<WPARAM>(label), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND)) << link;
        SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageW(label, WM_LBUTTONUP, 0, 0);
    }
    EXPECT_EQ(opened, (std::vector<std::wstring>(2, L"https://snapsift.example.org")));
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        SendMessageW(Main(), WM_COMMAND, kMenuAbout, 0);
        ASSERT_NE(window->About().Handle(), nullptr);
        PostMessageW(GetFocus(), WM_KEYDOWN, key, 0);
        PumpPendingMessages();
        EXPECT_EQ(window->About().Handle(), nullptr) << key;
    }
}

}  // namespace snapsift::test

int main(int argc, char** argv) {
    OleInitialize(nullptr);  // the folder chooser in its new style
    SetWindowsHookExW(WH_CBT, snapsift::test::TakeDialog, nullptr, GetCurrentThreadId());
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
