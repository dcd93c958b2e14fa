// The Windows main window driven from inside, under Wine: the real window with its native
// controls, clicked with BM_CLICK and keys, every message box and folder chooser answered by a
// hook as it opens. Scans are real, over temporary trees.
#include <windows.h>
#undef Yield

#include <commctrl.h>
#include <ole2.h>

#include <cmath>
#include <deque>
#include <memory>
#include <set>
#include <tuple>

#include "core/Fixtures.h"
#include "platform/WideText.h"
#include "win32/AboutBox.h"
#include "win32/Win32MainWindow.h"
#include "win32/DesignedControls.h"
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

}  // namespace

class Win32WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs = {};
        SetCurrentDirectoryW(L"C:\\");  // the drive list starts at the current drive
        window = std::make_unique<Win32MainWindow>(state, [this](const std::wstring& url) { opened.push_back(url); });
        window->QuitWhenClosed(false);
        window->Show();
        PumpPendingMessages();
    }

    HWND Item(Control control) const { return window->Item(control); }
    void Click(Control control) const { SendMessageW(Item(control), BM_CLICK, 0, 0); }
    HWND Main() const { return window->Handle(); }
    bool Shown(Control control) const { return IsWindowVisible(Item(control)) != 0; }
    PixelRect Place(HWND control) const { return Place(Main(), control); }
    static PixelRect Place(HWND window, HWND control) {
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
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
        if (IsChecked(Control::ProfileFoldersOnly)) Click(Control::ProfileFoldersOnly);
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
    std::unique_ptr<Win32MainWindow> window;
};

// Pixels of a rectangle in twips at 96 DPI (15 twips a pixel), each edge rounded on its own.
PixelRect At96Dpi(const TwipsRect& r) {
    const auto px = [](int twips) { return static_cast<int>(std::lround(twips / 15.0)); };
    return {px(r.left), px(r.top), px(r.left + r.width) - px(r.left), px(r.top + r.height) - px(r.top)};
}

// Both windows as they open at 96 DPI: caption, client size with the progress frame cut off, a
// fixed border, the main window's menus; then each control against its design row: window
// class, text, shown, enabled, place in the client area, font height and weight, check state,
// the text colour it asks for; and Tab through the controls shown in the designed order.
TEST_F(Win32WindowTest, AsDesignedAt96Dpi) {
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
    SendMessageW(Main(), WM_COMMAND, MenuId(MenuCommand::About), 0);
    const HWND about = window->About().Handle();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(about, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_EQ(ClientSize(about), (std::pair{382L, 255L}));
    const struct { const WindowDesign& design; HWND window; std::function<int(int)> id; } windows[] = {
        {MainWindowDesign(), Main(), [](int i) { return ControlId(static_cast<Control>(i)); }},
        {AboutBoxDesign(), about, [](int i) { return AboutControlId(static_cast<AboutControl>(i)); }}};
    const HDC dc = CreateCompatibleDC(nullptr);
    for (const auto& [design, shown, id] : windows) {
        EXPECT_EQ(WindowText(shown), design.caption);
        std::vector<std::string> tabs;
        for (std::size_t i = 0; i < design.controls.size(); ++i) {
            const ControlDesign& row = design.controls[i];
            SCOPED_TRACE(row.name);
            const HWND control = GetDlgItem(shown, id(static_cast<int>(i)));
            const bool visible = row.visible && (row.inside < 0 || design.controls[row.inside].visible);
            if (row.kind == ControlKind::DropDownList) {
                EXPECT_EQ(WindowText(control), "c:");  // the current drive
            } else {
                EXPECT_EQ(WindowText(control), &row == &Design(Control::TitleLabel) ? TitleText() : row.text);
            }
            wchar_t kind[32] = {};
            GetClassNameW(control, kind, 32);
            EXPECT_EQ(lstrcmpiW(kind, NativeClassOf(row).windowClass), 0) << Utf8FromWide(kind);
            EXPECT_EQ(IsWindowVisible(control) != 0, visible);
            EXPECT_TRUE(IsWindowEnabled(control));
            TwipsRect place = row.place;
            if (row.inside >= 0) place.left += design.controls[row.inside].place.left, place.top += design.controls[row.inside].place.top;
            EXPECT_EQ(Place(shown, control), At96Dpi(place));
            if (row.kind != ControlKind::Frame && row.kind != ControlKind::Rule && row.kind != ControlKind::EtchedRule &&
                row.kind != ControlKind::Icon) {
                // A fitted label's font is no larger than designed, nor below 70 % of it.
                const auto [height, weight] = Font(control);
                const LONG designed = -std::lround(row.font.centipoints * 96 / 7200.0);
                EXPECT_TRUE(FitsText(row.kind) ? height >= designed && height * 10 <= designed * 7 : height == designed)
                    << height;
                EXPECT_EQ(weight, row.font.bold ? FW_BOLD : FW_NORMAL);
            }
            EXPECT_EQ(SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED, row.checked);
            SendMessageW(shown, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
            EXPECT_EQ(GetTextColor(dc), row.darkBlue ? RGB(0, 0, 128) : GetSysColor(COLOR_WINDOWTEXT));
            if (row.kind == ControlKind::TextBox || row.kind == ControlKind::PathBox) {
                EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_WINDOW));
            }
        }
        std::string expected, got;
        for (const int i : design.tabOrder) {
            const ControlDesign& row = design.controls[i];
            if (row.visible && (row.inside < 0 || design.controls[row.inside].visible)) expected += row.name + " ";
        }
        const HWND first = GetNextDlgTabItem(shown, nullptr, FALSE);
        HWND at = first;
        do {
            for (std::size_t i = 0; i < design.controls.size(); ++i) {
                if (GetDlgItem(shown, id(static_cast<int>(i))) == at) got += design.controls[i].name + " ";
            }
            at = GetNextDlgTabItem(shown, at, FALSE);
        } while (at != first && got.size() < 300);
        EXPECT_EQ(got, expected);
    }
    DeleteDC(dc);
}

// A new resolution places every control and its font again from the twips: 10 twips a pixel at 144 DPI.
TEST_F(Win32WindowTest, LaidOutAgainAt144Dpi) {
    RECT frame{};
    GetWindowRect(Main(), &frame);
    SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&frame));
    EXPECT_EQ(ClientSize(Main()), (std::pair{699L, 477L}));
    EXPECT_EQ(Place(Item(Control::HelpButton)), (PixelRect{648, 128, 38, 37}));
    EXPECT_EQ(Place(Item(Control::DriveList)), (PixelRect{48, 180, 506, 36}));
    EXPECT_EQ(Place(Item(Control::ScanningLabel)), (PixelRect{12, 484, 86, 26}));
    EXPECT_EQ(Font(Item(Control::HelpButton)).first, -20);
    EXPECT_EQ(Font(Item(Control::TitleLabel)).first, -36);
}

// Enter presses the button that has the focus (put on it directly, as a click does, without the
// dialog manager's default button following it); Esc does nothing to the window.
TEST_F(Win32WindowTest, EnterAndEsc) {
    SetFocus(Item(Control::HelpButton));
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        PostMessageW(Item(Control::HelpButton), WM_KEYDOWN, key, 0);
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
        Click(Control::OutputBrowseButton);
        ASSERT_EQ(dialogs.boxes.size(), 1u) << folder;
        EXPECT_EQ(std::get<2>(dialogs.boxes[0]), (std::set<int>{IDOK, IDCANCEL})) << folder;
        EXPECT_EQ(WindowText(Item(Control::OutputFolderBox)), folder);
        EXPECT_EQ(state.OutputFolder, folder);
    }
}

// START clicked in folder mode reaches the scan: the progress frame and what is inside it
// uncovered while it runs, the last path left in ShownPath, the window idle again.
TEST_F(Win32WindowTest, StartRunsTheScanInTheRunningLook) {
    AddPhotos(2);
    ChooseFolders("out");
    std::string runningLook;  // as the final message opens: the progress frame and the client height
    dialogs.onBox = [&] {
        runningLook = std::to_string(Shown(Control::ProgressFrame)) + std::to_string(Shown(Control::ScanningLabel)) +
                      std::to_string(Shown(Control::ShownPath)) + " " + std::to_string(ClientSize(Main()).second);
    };
    Click(Control::StartButton);
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{Total("complete", 2)});
    EXPECT_EQ(runningLook, "111 418");
    EXPECT_NE(WindowText(Item(Control::ShownPath)).find("_1_2[1].jpg"), std::string::npos);
    EXPECT_TRUE(Shown(Control::StartButton) && !Shown(Control::AbortButton) && !Shown(Control::ShownPath));
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
        PostMessageW(Item(Control::AbortButton), BM_CLICK, 0, 0);
        Click(Control::StartButton);
        EXPECT_EQ(dialogs.boxes, (std::vector<Box>{question, row.total}));
    }
}

// While a scan runs, the close box and File > Exit are refused and Help > About... opens its box
// without holding the scan; after it, Exit closes the window and the About box stays.
TEST_F(Win32WindowTest, CloseRefusedAndAboutOpenDuringAScan) {
    AddPhotos(3);
    ChooseFolders("out");
    PostMessageW(Main(), WM_CLOSE, 0, 0);
    PostMessageW(Main(), WM_COMMAND, MenuId(MenuCommand::Exit), 0);
    PostMessageW(Main(), WM_COMMAND, MenuId(MenuCommand::About), 0);
    Click(Control::StartButton);
    PumpPendingMessages();
    EXPECT_EQ(dialogs.boxes, std::vector<Box>{Total("complete", 3)});
    ASSERT_NE(window->Handle(), nullptr);
    const HWND about = window->About().Handle();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(IsWindowVisible(about));
    SendMessageW(Main(), WM_COMMAND, MenuId(MenuCommand::Exit), 0);
    EXPECT_EQ(window->Handle(), nullptr);
    EXPECT_TRUE(IsWindow(about));
}

// A scan's turn handles the waiting messages, then none until 2 ms of the logic's clock have passed.
TEST_F(Win32WindowTest, TurnHandlesMessagesAtMostEvery2ms) {
    const struct { std::int64_t ms; bool handled; } turns[] = {{1000, true}, {1001, false}, {1002, true}, {5, true}};
    for (const auto& turn : turns) {
        PostMessageW(Item(Control::IncludePhotos), BM_CLICK, 0, 0);
        const bool before = IsChecked(Control::IncludePhotos);
        window->Turn(turn.ms * 1'000'000);
        EXPECT_EQ(IsChecked(Control::IncludePhotos) != before, turn.handled) << turn.ms;
        PumpPendingMessages();
    }
}

// The About box: both links show the hand and open
// the maker's page; Esc and Enter close it.
TEST_F(Win32WindowTest, AboutBox) {
    SendMessageW(Main(), WM_COMMAND, MenuId(MenuCommand::About), 0);
    HWND about = window->About().Handle();
    ASSERT_NE(about, nullptr);
    for (int link : {AboutControlId(AboutControl::Copyright), AboutControlId(AboutControl::Address)}) {
        const HWND label = GetDlgItem(about, link);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        SendMessageW(about, WM_SETCURSOR, reinterpret_cast<WPARAM>(label), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND)) << link;
        SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageW(label, WM_LBUTTONUP, 0, 0);
    }
    EXPECT_EQ(opened, (std::vector<std::wstring>(2, L"https://snapsift.example.org")));
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        SendMessageW(Main(), WM_COMMAND, MenuId(MenuCommand::About), 0);
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
