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

#include "core/Fixtures.h"
#include "platform/WideText.h"
#include "win32/AboutBox.h"
#include "win32/Form1Window.h"
#include "win32/MessageLoop.h"

namespace snapsift::test {

namespace {

// A system dialog as it opened: caption, text and the buttons it offered.
struct Box {
    std::string caption, text;
    std::set<int> buttons;
    bool operator==(const Box&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Box& box) {
    out << box.caption << ": " << box.text << " [";
    for (int button : box.buttons) out << button << ' ';
    return out << ']';
}

// Takes every system dialog (#32770) that opens on this thread, notes it and presses the next
// answer queued, or OK (else No, else Cancel) when none is.
class DialogAnswers {
public:
    DialogAnswers() : hook_(SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId())) { current_ = this; }
    ~DialogAnswers() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    std::deque<int> answers;
    std::vector<Box> boxes;
    std::function<void()> onBox;  // called as each box opens

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        const auto dialog = reinterpret_cast<HWND>(wParam);
        wchar_t windowClass[16] = {};
        if (code == HCBT_ACTIVATE && GetClassNameW(dialog, windowClass, 16) && lstrcmpW(windowClass, L"#32770") == 0 &&
            current_->taken_.insert(dialog).second) {
            current_->Take(dialog);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void Take(HWND dialog) {
        wchar_t text[2048] = {};
        Box box;
        GetWindowTextW(dialog, text, 2048);
        box.caption = Utf8FromWide(text);
        text[0] = L'\0';
        GetDlgItemTextW(dialog, 0xFFFF, text, 2048);  // a message box's text
        box.text = Utf8FromWide(text);
        for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
            const HWND button = GetDlgItem(dialog, id);
            if (button != nullptr && (GetWindowLongPtrW(button, GWL_STYLE) & WS_VISIBLE) != 0) box.buttons.insert(id);
        }
        boxes.push_back(box);
        if (onBox) onBox();
        int answer = answers.empty() ? IDOK : answers.front();
        if (!answers.empty()) answers.pop_front();
        for (int fallback : {IDOK, IDNO, IDCANCEL}) {  // an unexpected box must not hold the test
            if (!box.buttons.contains(answer)) answer = fallback;
        }
        const HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
        if (tree == nullptr) {
            PostMessageW(GetDlgItem(dialog, answer), BM_CLICK, 0, 0);
            return;
        }
        // A folder chooser moves its selection to the start folder one level at a time: the
        // answer waits until the selection has stayed put for 100 ms.
        settling_[dialog] = {tree, answer};
        SetTimer(dialog, 1, 25, Settle);
    }
    static void CALLBACK Settle(HWND dialog, UINT, UINT_PTR timer, DWORD) {
        Settling& wait = current_->settling_[dialog];
        const LRESULT caret = SendMessageW(wait.tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
        wait.steady = caret == wait.caret ? wait.steady + 1 : 0;
        wait.caret = caret;
        if (wait.steady < 4) return;
        KillTimer(dialog, timer);
        PostMessageW(GetDlgItem(dialog, wait.answer), BM_CLICK, 0, 0);
    }

    struct Settling {
        HWND tree;
        int answer;
        LRESULT caret = 0;
        int steady = 0;
    };
    static inline DialogAnswers* current_ = nullptr;
    std::map<HWND, Settling> settling_;
    HHOOK hook_;
    std::set<HWND> taken_;
};

constexpr char kJpeg[] = "\xFF\xD8\xFF\xE0 photo bytes";
const std::set<int> kOk = {IDOK}, kYesNo = {IDYES, IDNO};
Box Message(const std::string& text) { return {"Snapsift", text, kOk}; }
const std::string kHelp =
    "If \"Only Search User Profile Folders On Selected Drive\" is checked, only the user profile folders ('Documents "
    "and Settings' in XP, or 'Users' in Vista/7) will be searched. This greatly reduces the search time and is usually "
    "all that is needed since Quorvia JPG files are generally only found in the Temporary Internet Files.\r\n\r\nIf "
    "\"Only Search User Profile Folders On Selected Drive\" is NOT checked, you will have the option of selecting a "
    "specific folder to search, with (optionally) all sub-folders as well.";
Box Total(const char* outcome, int total) {
    return Message("Operation " + std::string(outcome) + ".\r\n\r\nTotal files found: " + std::to_string(total));
}

std::string WindowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return Utf8FromWide(text);
}

// Every file's three times: 2010-03-15 14:05:09 UTC (reading a file under Wine moves its access time).
void SetTimes(const fs::path& file) {
    const SYSTEMTIME at{2010, 3, 1, 15, 14, 5, 9, 0};
    FILETIME time{};
    SystemTimeToFileTime(&at, &time);
    const HANDLE handle = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << file;
    EXPECT_TRUE(SetFileTime(handle, &time, &time, &time));
    CloseHandle(handle);
}

}  // namespace

class Win32WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
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
    LOGFONTW Font(HWND control) const {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        return font;
    }
    // Folder mode over src/ of the tree, into a new folder out<N>/, on the fixed clock.
    void ChooseFolders(const std::string& output) {
        tree.Folder(output);
        if (IsChecked(Control::chkPro)) Click(Control::chkPro);
        state.SourceFolder = AddBackslash(tree.Text("src"));
        state.OutputFolder = AddBackslash(tree.Text(output));
        window->Logic().SetScanEnvironment(environment);
    }
    bool IsChecked(Control control) const { return SendMessageW(Item(control), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void AddPhotos(int count) {
        for (int i = 0; i < count; ++i) tree.File("src/n" + std::to_string(1000000 + i) + "_1_2[1].jpg", kJpeg);
    }

    DialogAnswers dialogs;
    ScanState state;
    TempTree tree;
    ScanEnvironment environment{[] { return DateTime{2010, 3, 5, 9, 7, 3}; }, nullptr};
    std::vector<std::wstring> opened;
    std::unique_ptr<Form1Window> window;
};

// Each control as the window opens at 96 DPI: kind, text, shown and enabled, place in the client
// area (15 twips a pixel), font height and weight, and the text colour it asks for (dark blue
// labels, read-only boxes drawn as boxes that can be written).
TEST_F(Win32WindowTest, FirstLookAt96Dpi) {
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
        SendMessageW(Main(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Item(row.control)));
        EXPECT_EQ(GetTextColor(dc), blue.contains(row.control) ? RGB(0, 0, 128) : GetSysColor(COLOR_WINDOWTEXT));
        if (boxes.contains(row.control)) {
            EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_WINDOW));
        }
        const HWND control = Item(row.control);
        wchar_t kind[32] = {};
        GetClassNameW(control, kind, 32);
        EXPECT_EQ(lstrcmpiW(kind, row.kind), 0) << Utf8FromWide(kind);
        EXPECT_EQ(WindowText(control), row.text);
        EXPECT_EQ(Shown(row.control), row.shown);
        EXPECT_TRUE(IsWindowEnabled(control));
        EXPECT_EQ(Place(control), row.place);
        EXPECT_EQ(Font(control).lfHeight, row.height);
        EXPECT_EQ(Font(control).lfWeight, row.weight);
    }
    DeleteDC(dc);
    EXPECT_TRUE(IsChecked(Control::chkPro) && IsChecked(Control::chkIncl) && IsChecked(Control::chkSubs));
}

// Caption, client size with the progress frame cut off, a fixed border with a minimize button
// only, and the two menus.
TEST_F(Win32WindowTest, WindowAndMenus) {
    EXPECT_EQ(WindowText(Main()), "Snapsift");
    RECT client{};
    GetClientRect(Main(), &client);
    EXPECT_EQ((std::pair{client.right, client.bottom}), (std::pair{466L, 318L}));
    const LONG_PTR style = GetWindowLongPtrW(Main(), GWL_STYLE);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), WS_MINIMIZEBOX);
    const HMENU bar = GetMenu(Main());
    const auto item = [](HMENU menu, int position) {
        wchar_t text[32] = {};
        GetMenuStringW(menu, static_cast<UINT>(position), text, 32, MF_BYPOSITION);
        return Utf8FromWide(text);
    };
    EXPECT_EQ(item(bar, 0) + "/" + item(GetSubMenu(bar, 0), 0), "File/Exit");
    EXPECT_EQ(item(bar, 1) + "/" + item(GetSubMenu(bar, 1), 0), "Help/About...");
    EXPECT_EQ(GetMenuItemCount(bar), 2);
}

// A new resolution places every control and its font again from the twips: 10 twips a pixel at 144 DPI.
TEST_F(Win32WindowTest, LaidOutAgainAt144Dpi) {
    RECT frame{};
    GetWindowRect(Main(), &frame);
    SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&frame));
    RECT client{};
    GetClientRect(Main(), &client);
    EXPECT_EQ((std::pair{client.right, client.bottom}), (std::pair{699L, 477L}));
    EXPECT_EQ(Place(Item(Control::Command1)), (PixelRect{648, 128, 38, 37}));
    EXPECT_EQ(Place(Item(Control::Drive1)), (PixelRect{48, 180, 506, 36}));
    EXPECT_EQ(Place(Item(Control::Label7)), (PixelRect{12, 484, 86, 26}));
    EXPECT_EQ(Font(Item(Control::Command1)).lfHeight, -20);
    EXPECT_EQ(Font(Item(Control::Label1)).lfHeight, -36);
}

// Tab goes through the controls shown, in the designed order, in either mode.
TEST_F(Win32WindowTest, TabOrder) {
    const auto tabs = [&] {
        std::vector<std::string> names;
        HWND first = GetNextDlgTabItem(Main(), nullptr, FALSE), at = first;
        do {
            names.emplace_back(ControlName(static_cast<Control>(GetDlgCtrlID(at) - ControlId(Control::Command1))));
            at = GetNextDlgTabItem(Main(), at, FALSE);
        } while (at != first && names.size() < 20);
        return names;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(tabs(), (Names{"cmdOut", "cmdSTART", "chkIncl", "txtOut", "Drive1", "chkPro", "Command1"}));
    Click(Control::chkPro);
    EXPECT_EQ(tabs(), (Names{"cmdSource", "chkSubs", "cmdOut", "cmdSTART", "chkIncl", "txtSource", "txtOut", "chkPro",
                             "Command1"}));
}

// Enter presses the button that has the focus (put on it directly, as a click does, without the
// dialog manager's default button following it); Esc does nothing to the window.
TEST_F(Win32WindowTest, EnterAndEsc) {
    SetFocus(Item(Control::Command1));
    PostMessageW(Item(Control::Command1), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpPendingMessages();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_NE(window->Handle(), nullptr);
    PostMessageW(Item(Control::Command1), WM_KEYDOWN, VK_RETURN, 0);
    PumpPendingMessages();
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{Message(kHelp)});
}

// The shell's chooser opens at the folder chosen last; OK gives it back ending in one "\". (The
// folder is right under C:\: Wine's chooser does not always reach a start folder deeper down.)
TEST_F(Win32WindowTest, ChooserGivesTheFolder) {
    const fs::path chosen = "C:\\snapsift-chooser-" + std::to_string(GetCurrentProcessId());
    fs::create_directory(chosen);
    for (const std::string& folder : {AddBackslash(ToText(chosen)), std::string("C:\\")}) {
        state.OutputFolder = folder;
        dialogs.boxes.clear();
        Click(Control::cmdOut);
        ASSERT_EQ(dialogs.boxes.size(), 1u) << folder;
        EXPECT_EQ(dialogs.boxes[0].buttons, (std::set<int>{IDOK, IDCANCEL})) << folder;
        EXPECT_EQ(WindowText(Item(Control::txtOut)), folder);
        EXPECT_EQ(state.OutputFolder, folder);
    }
    fs::remove(chosen);
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
        const fs::path folder = *fs::directory_iterator(tree.Path(output));
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(folder)) files[ToText(entry.path().filename())] = ReadBytes(entry);
        return files;
    };
    std::string runningLook;  // as the final message opens: the progress frame and the client height
    dialogs.onBox = [&] {
        RECT client{};
        GetClientRect(Main(), &client);
        runningLook = std::to_string(Shown(Control::Frame1)) + std::to_string(Shown(Control::Label7)) +
                      std::to_string(Shown(Control::lblFile)) + " " + std::to_string(client.bottom);
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
    const Box question{"Snapsift", "Are you sure you want to cancel this operation?", kYesNo};
    const struct { int answer; Box total; } rows[] = {{IDYES, Total("aborted", 1)}, {IDNO, Total("complete", 5)}};
    AddPhotos(5);
    int run = 0;
    for (const auto& row : rows) {
        ChooseFolders("out" + std::to_string(++run));
        dialogs.boxes.clear();
        dialogs.answers = {row.answer, IDOK};
        PostMessageW(Item(Control::cmdABORT), BM_CLICK, 0, 0);
        Click(Control::cmdSTART);
        EXPECT_EQ(dialogs.boxes, (std::vector<Box>{question, row.total}));
    }
}

// The close box and File > Exit are refused while a scan runs, and close the window after it.
TEST_F(Win32WindowTest, CloseRefusedDuringAScan) {
    AddPhotos(3);
    ChooseFolders("out");
    PostMessageW(Main(), WM_CLOSE, 0, 0);
    PostMessageW(Main(), WM_COMMAND, kMenuExit, 0);
    Click(Control::cmdSTART);
    PumpPendingMessages();
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{Total("complete", 3)});
    ASSERT_NE(window->Handle(), nullptr);
    SendMessageW(Main(), WM_COMMAND, kMenuExit, 0);
    EXPECT_EQ(window->Handle(), nullptr);
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

// Help > About... during a scan opens the box without holding the scan; it stays when the main
// window closes.
TEST_F(Win32WindowTest, AboutOpensDuringAScan) {
    AddPhotos(3);
    ChooseFolders("out");
    PostMessageW(Main(), WM_COMMAND, kMenuAbout, 0);
    Click(Control::cmdSTART);
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{Total("complete", 3)});
    const HWND about = window->About().Handle();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(IsWindowVisible(about));
    SendMessageW(Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(window->Handle(), nullptr);
    EXPECT_TRUE(IsWindow(about));
}

// Caption, title and version; both links show the hand and open the maker's page.
TEST_F(Win32WindowTest, AboutBoxTextsAndLinks) {
    SendMessageW(Main(), WM_COMMAND, kMenuAbout, 0);
    const HWND about = window->About().Handle();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(WindowText(about), "About Snapsift");
    EXPECT_EQ(WindowText(GetDlgItem(about, kAboutTitle)), "Snapsift");
    EXPECT_EQ(WindowText(GetDlgItem(about, kAboutVersion)), "Version " SNAPSIFT_VERSION);
    EXPECT_EQ(GetWindowLongPtrW(about, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    RECT client{};
    GetClientRect(about, &client);
    EXPECT_EQ(client.right * 1000 + client.bottom, 382 * 1000 + 255);
    for (int link : {kAboutCopyright, kAboutAddress}) {
        const HWND label = GetDlgItem(about, link);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        SendMessageW(about, WM_SETCURSOR, reinterpret_cast<WPARAM>(label), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND)) << link;
        SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageW(label, WM_LBUTTONUP, 0, 0);
    }
    EXPECT_EQ(opened, (std::vector<std::wstring>{kMakerAddress, kMakerAddress}));
}

TEST_F(Win32WindowTest, AboutClosesOnEscAndEnter) {
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        SendMessageW(Main(), WM_COMMAND, kMenuAbout, 0);
        const HWND about = window->About().Handle();
        ASSERT_NE(about, nullptr);
        PostMessageW(GetFocus(), WM_KEYDOWN, key, 0);
        PumpPendingMessages();
        EXPECT_EQ(window->About().Handle(), nullptr) << key;
    }
}

}  // namespace snapsift::test

int main(int argc, char** argv) {
    OleInitialize(nullptr);  // the folder chooser in its new style
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
