// The Windows main window driven from inside, under Wine: the real window with its native
// controls, clicked with BM_CLICK and keys, every message box and folder chooser answered by a
// hook as it opens. The view contract's table (what the window shows for each act, a stalled
// scan's included) runs here as on the other toolkits; the rest is what only this window does.
#include <windows.h>
#undef Yield

#include <commctrl.h>
#include <ole2.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <set>

#include "support/TempTree.h"
#include "platform/WideText.h"
#include "win32/AboutBox.h"
#include "win32/Win32MainWindow.h"
#include "win32/DesignedControls.h"
#include "win32/MessageLoop.h"
#include "window/ViewContract.h"

namespace snapsift::test {

namespace {

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

// Every system dialog (#32770) that opens on this thread, taken by a hook (TakeDialog) and noted
// in `boxes` as the view contract names them (a folder chooser as "browse" and its title, then
// cancelled): it presses Yes if `yes`, else No, on a Yes/No box, else OK; and each page the
// window opened.
struct DialogLog {
    bool yes = false;
    std::vector<std::string> boxes;
    std::string pages;
    std::set<HWND> taken;
} dialogs;

// A Yes/No box is answered once it is shown, when the button that Enter presses is known: a No
// that Enter presses is noted "[No]".
void CALLBACK AnswerYesNo(HWND dialog, UINT, UINT_PTR timer, DWORD) {
    KillTimer(dialog, timer);
    if ((GetWindowLongPtrW(GetDlgItem(dialog, IDNO), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) dialogs.boxes.back() += "[No]";
    PostMessageW(GetDlgItem(dialog, dialogs.yes ? IDYES : IDNO), BM_CLICK, 0, 0);
}

LRESULT CALLBACK TakeDialog(int code, WPARAM wParam, LPARAM lParam) {
    const auto dialog = reinterpret_cast<HWND>(wParam);
    wchar_t windowClass[16] = {};
    if (code == HCBT_ACTIVATE && GetClassNameW(dialog, windowClass, 16) && lstrcmpW(windowClass, L"#32770") == 0 &&
        dialogs.taken.insert(dialog).second) {
        const bool question = (GetWindowLongPtrW(GetDlgItem(dialog, IDYES), GWL_STYLE) & WS_VISIBLE) != 0;
        const HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
        // A chooser's caption is the system's, its title the first static text; a box's text is
        // the static 0xFFFF.
        std::string title;
        for (HWND text = nullptr; tree && title.empty() && (text = FindWindowExW(dialog, text, L"Static", nullptr));)
            title = WindowText(text);
        dialogs.boxes.push_back(tree ? "browse " + title : BoxText(WindowText(GetDlgItem(dialog, 0xFFFF)), question, false));
        if (question) SetTimer(dialog, 1, 10, AnswerYesNo);
        else PostMessageW(GetDlgItem(dialog, tree ? IDCANCEL : IDOK), BM_CLICK, 0, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Pixels of a rectangle in twips at 96 DPI (15 twips a pixel), each edge rounded on its own.
PixelRect At96Dpi(const TwipsRect& r) {
    const auto px = [](int twips) { return static_cast<int>(std::lround(twips / 15.0)); };
    return {px(r.left), px(r.top), px(r.left + r.width) - px(r.left), px(r.top + r.height) - px(r.top)};
}

}  // namespace

class Win32WindowTest : public ::testing::Test, public ContractWindow {
public:
    // ContractWindow: a click as BM_CLICK makes it on a control shown and enabled.
    MainWindowLogic& Logic() override { return window->Logic(); }
    ScanState& State() override { return state; }
    void Click(Control c) override { Shown(c) && Enabled(c) && SendMessageW(Item(c), BM_CLICK, 0, 0); }
    void Choose(MenuCommand command) override { Menu(command); }
    void CloseBox() override { SendMessageW(Main(), WM_CLOSE, 0, 0); }
    // Enter and Esc as posted keys; Alt and a menu's key open the menu in the system's menu loop,
    // where the item's key, typed once the menu shows, chooses (a loop still open half a second
    // on is ended).
    void Press(std::string_view keys) override {
        if (!keys.starts_with("Alt+")) PostMessageW(GetFocus(), WM_KEYDOWN, keys == "Enter" ? VK_RETURN : VK_ESCAPE, 0);
        static wchar_t typed;
        typed = keys.size() > 6 ? static_cast<wchar_t>(keys[6] - 'A' + 'a') : 0;
        if (typed != 0) {
            SetTimer(Main(), 1, 50, [](HWND window, UINT, UINT_PTR timer, DWORD) {
                KillTimer(window, timer);
                const HWND popup = FindWindowW(L"#32768", nullptr);
                PostMessageW(popup != nullptr && IsWindowVisible(popup) ? popup : window, WM_CHAR, typed, 0);
            });
            SetTimer(Main(), 2, 500, [](HWND window, UINT, UINT_PTR timer, DWORD) { KillTimer(window, timer), EndMenu(); });
            SendMessageW(Main(), WM_SYSCOMMAND, SC_KEYMENU, keys[4] - 'A' + 'a');
            if (Main() != nullptr) KillTimer(Main(), 2);
        }
        PumpPendingMessages();
    }
    void Answer(bool yes) override { dialogs.yes = yes; }
    std::vector<std::string> Boxes() override { return std::exchange(dialogs.boxes, {}); }
    bool Shown(Control c) override { return IsWindowVisible(Item(c)) != 0; }
    bool Enabled(Control c) override { return IsWindowEnabled(Item(c)) != 0; }
    std::string Text(Control c) override { return WindowText(Item(c)); }
    std::string Caption() override { return WindowText(Main()); }
    std::string Focused() override {
        const int id = GetParent(GetFocus()) == Main() ? GetDlgCtrlID(GetFocus()) : 0;
        return id >= ControlId(Control(0)) && id < ControlId(Control(kControlCount)) ? std::string(ControlName(Control(id - ControlId(Control(0))))) : "none";
    }
    bool MenuEnabled(MenuCommand command) override {
        return (GetMenuState(GetMenu(Main()), static_cast<UINT>(MenuId(command)), MF_BYCOMMAND) & MF_GRAYED) == 0;
    }
    bool AboutShown() override { return window->About().Handle() != nullptr && IsWindowVisible(window->About().Handle()); }
    bool Closed() override { return Main() == nullptr; }
    std::string Opened() override { return dialogs.pages.substr(0, dialogs.pages.size() - 1); }
    int ClientTwips() override { return static_cast<int>(ClientSize(Main()).second) * 15; }
    bool RunUntil(const std::function<bool()>& done) override {
        for (const DWORD end = GetTickCount() + 10'000; GetTickCount() < end && !done();)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT), PumpPendingMessages();
        return done();
    }

protected:
    void SetUp() override { NewWindow(); }
    void NewWindow() {
        window.reset();
        dialogs = {};
        state = {};
        SetCurrentDirectoryW(L"Z:\\");  // the drive list starts at C:, which holds the profiles, all the same
        window = std::make_unique<Win32MainWindow>(state, [](const std::wstring& url) { dialogs.pages += Utf8FromWide(url) + " "; });
        window->QuitWhenClosed(false);
        window->Show();
        PumpPendingMessages();
    }

    HWND Item(Control control) const { return window->Item(control); }
    void Menu(MenuCommand command) const { SendMessageW(Main(), WM_COMMAND, MenuId(command), 0); }
    HWND Main() const { return window->Handle(); }
    void Dpi(int dpi) const {
        RECT frame{};
        GetWindowRect(Main(), &frame);
        SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
    }
    static PixelRect Place(HWND window, HWND control) {
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    }
    static std::pair<LONG, LONG> Font(HWND control) {  // height and weight
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        return {font.lfHeight, font.lfWeight};
    }
    ScanState state;
    std::unique_ptr<Win32MainWindow> window;
};

// Both windows as they open at 96 DPI: client size with the progress frame cut off, a fixed
// border; then each control against its design row: window class,
// text, shown, enabled, place, font height and weight, check state, the colours it asks for;
// and Tab through the controls shown in the designed order.
TEST_F(Win32WindowTest, AsDesignedAt96Dpi) {
    Menu(MenuCommand::About);
    const HWND about = window->About().Handle();
    ASSERT_NE(about, nullptr);
    const struct { const WindowDesign& design; HWND window; int (*id)(int); LONG_PTR border; std::pair<LONG, LONG> size; std::string links; } windows[] = {
        {MainWindowDesign(), Main(), [](int i) { return ControlId(Control(i)); }, WS_MINIMIZEBOX, {466, 318}, ""},
        {AboutBoxDesign(), about, [](int i) { return AboutControlId(AboutControl(i)); }, 0, {382, 255}, "Address Copyright "}};
    const HDC dc = CreateCompatibleDC(nullptr);
    for (const auto& [design, shown, id, border, size, links] : windows) {
        EXPECT_EQ(WindowText(shown), design.caption);
        EXPECT_EQ(ClientSize(shown), size);
        EXPECT_EQ(GetWindowLongPtrW(shown, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), border);
        std::map<HWND, std::string> tabStops;  // the controls shown that take the focus, by handle
        for (std::size_t i = 0; i < design.controls.size(); ++i) {
            const ControlDesign& row = design.controls[i];
            SCOPED_TRACE(row.name);
            const HWND control = GetDlgItem(shown, id(static_cast<int>(i)));
            const bool visible = row.visible && (row.inside < 0 || design.controls[row.inside].visible);
            if (visible && (TakesFocus(row.kind) || row.kind == ControlKind::Link)) tabStops[control] = row.name;
            const std::string text = row.kind == ControlKind::Link ? "<a>" + row.text + "</a>" : row.text;
            // The drive list shows the drive holding the profiles.
            EXPECT_EQ(WindowText(control), row.kind == ControlKind::DropDownList ? "c:" : &row == &Design(Control::TitleLabel) ? TitleText() : text);
            wchar_t kind[32] = {};
            GetClassNameW(control, kind, 32);
            EXPECT_EQ(lstrcmpiW(kind, NativeClassOf(row).windowClass), 0) << Utf8FromWide(kind);
            EXPECT_TRUE((IsWindowVisible(control) != 0) == visible && IsWindowEnabled(control));
            TwipsRect place = row.place;
            if (row.inside >= 0) place.left += design.controls[row.inside].place.left, place.top += design.controls[row.inside].place.top;
            EXPECT_EQ(Place(shown, control), At96Dpi(place));
            // A fitted label's font is no larger than designed, nor below 70 % of it.
            const auto [height, weight] = Font(control);
            const LONG designed = -std::lround(row.font.centipoints * 96 / 7200.0);
            EXPECT_TRUE(!(FittedToText(row.kind) || TakesFocus(row.kind)) ||
                        ((FittedToText(row.kind) ? height >= designed && height * 10 <= designed * 7 : height == designed) &&
                         weight == (row.font.bold ? FW_BOLD : FW_NORMAL))) << height << " " << weight;
            EXPECT_EQ(SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED, row.checked);
            SendMessageW(shown, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
            EXPECT_EQ(GetTextColor(dc), row.darkBlue ? RGB(0, 0, 128) : GetSysColor(COLOR_WINDOWTEXT));
            if (row.kind == ControlKind::TextBox || row.kind == ControlKind::PathBox) { EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_WINDOW)); }
        }
        std::string expected, tabs;
        for (const int i : design.tabOrder) expected += tabStops.contains(GetDlgItem(shown, id(i))) ? design.controls[i].name + " " : "";
        HWND at = GetNextDlgTabItem(shown, nullptr, FALSE);
        for (const HWND first = at; tabs.size() < 300 && (tabs += tabStops[at] + " ", (at = GetNextDlgTabItem(shown, at, FALSE)) != first);) {}
        EXPECT_EQ(tabs, expected + links);
    }
    DeleteDC(dc);
}

// A new resolution places every control and its font again from the twips: 10 twips a pixel at
// 144 DPI. Each check box's text fits beside its box (13 pixels and a gap of 4 at 96 DPI), in a
// smaller font where Wine's stand-in face needs that. While a scan runs, the progress frame's
// inside has the dialog's colour, at 96 and 144 DPI: beside the label and the path box, and at
// the frame's right.
TEST_F(Win32WindowTest, LaidOutAgainAt144Dpi) {
    Dpi(144);
    EXPECT_EQ(ClientSize(Main()), (std::pair{699L, 477L}));
    EXPECT_EQ(Place(Main(), Item(Control::HelpButton)), (PixelRect{648, 128, 38, 37}));
    EXPECT_EQ(Place(Main(), Item(Control::DriveList)), (PixelRect{48, 180, 506, 36}));
    EXPECT_EQ(Place(Main(), Item(Control::ScanningLabel)), (PixelRect{12, 484, 86, 26}));
    EXPECT_EQ(Font(Item(Control::HelpButton)).first, -20);
    EXPECT_EQ(Font(Item(Control::TitleLabel)).first, -36);
    for (const Control check : {Control::ProfileFoldersOnly, Control::IncludePhotos, Control::SearchSubfolders}) {
        RECT box{};
        GetClientRect(Item(check), &box);
        const std::wstring text = WideFromUtf8(Design(check).text);
        const HDC dc = GetDC(Item(check));
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(Item(check), WM_GETFONT, 0, 0)));
        RECT needed{0, 0, box.right - 17 * 144 / 96, 0};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed, DT_CALCRECT | DT_WORDBREAK);
        ReleaseDC(Item(check), dc);
        EXPECT_TRUE(needed.bottom <= box.bottom && Font(Item(check)).first >= -17) << ControlName(check);
    }
    for (const int dpi : {144, 96}) {
        Dpi(dpi);
        window->Logic().SetRunningLook(true);
        RedrawWindow(Main(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        RECT inside{};
        GetClientRect(Item(Control::ProgressFrame), &inside);
        const HDC dc = GetDC(Item(Control::ProgressFrame));
        for (const POINT at : {POINT{4, inside.bottom / 2}, POINT{inside.right - 4, 6}, POINT{inside.right / 2, 4}})
            EXPECT_EQ(GetPixel(dc, at.x, at.y), GetSysColor(COLOR_3DFACE)) << dpi << " DPI at " << at.x << "," << at.y;
        ReleaseDC(Item(Control::ProgressFrame), dc);
        window->Logic().SetRunningLook(false);
    }
}

// The About box's links, each clicked, then reached with Tab from OK and given Enter, open the
// maker's page; the box stays open.
TEST_F(Win32WindowTest, AboutBoxLinks) {
    Menu(MenuCommand::About);
    const HWND about = window->About().Handle();
    for (const AboutControl link : {AboutControl::Copyright, AboutControl::Address}) {
        const HWND label = GetDlgItem(about, AboutControlId(link));
        SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, 0), SendMessageW(label, WM_LBUTTONUP, 0, 0);
        dialogs.pages += "clicked, ";
    }
    SendMessageW(about, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(about, IDOK)), TRUE);
    for (int tab = 0; tab < 2; ++tab) {
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0), PumpPendingMessages();
        dialogs.pages += std::to_string(GetDlgCtrlID(GetFocus())) + " Enter, ";
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0), PumpPendingMessages();
    }
    const std::string page = "https://snapsift.example.org ";
    EXPECT_EQ(dialogs.pages + (IsWindowVisible(about) ? "shown" : "hidden"),
              page + "clicked, " + page + "clicked, 204 Enter, " + page + "203 Enter, " + page + "shown");
}

// What the window shows for each act, idle and during a scan that stalls, as every toolkit's
// window must.
TEST_F(Win32WindowTest, ViewContract) {
    for (const ContractRow& row : ContractRows()) {
        NewWindow();
        TempTree tree;
        EXPECT_EQ(RunContractRow(*this, row, tree.Folder("out")), row.shown) << row.why;
    }
}

// The labels designed dark blue are so on the dialog's usual grey; on a dark dialog colour, or
// in high contrast, they take the system's text colour, read again as the system's colours change.
TEST_F(Win32WindowTest, DarkBlueWhereReadable) {
    const HDC dc = CreateCompatibleDC(nullptr);
    const int element = COLOR_3DFACE;
    for (const auto& [face, text] : {std::pair{RGB(0x40, 0x40, 0x40), GetSysColor(COLOR_WINDOWTEXT)}, {GetSysColor(element), RGB(0, 0, 0x80)}}) {
        SetSysColors(1, &element, &face);
        PumpPendingMessages();
        for (const Control label : {Control::TitleLabel, Control::CopyrightLabel, Control::ReportNote}) {
            SendMessageW(Main(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Item(label)));
            EXPECT_EQ(GetTextColor(dc), text) << ControlName(label) << " on " << std::hex << face;
        }
    }
    DeleteDC(dc);
}

// Screen readers name each box after the caption made just before it, and the other controls
// after their text. (The names of their own given through the accessibility property service
// are for Windows: Wine keeps none.)
TEST_F(Win32WindowTest, ScreenReadersNameTheBoxesAfterTheirCaptions) {
    const std::pair<Control, const char*> rows[] = {{Control::OutputFolderBox, "Select an output folder:"},
                                                    {Control::SourceFolderBox, "Select a source:"},
                                                    {Control::ShownPath, "Scanning:"}, {Control::StartButton, "START"}};
    for (const auto& [control, name] : rows) {
        IAccessible* object = nullptr;
        ASSERT_HRESULT_SUCCEEDED(AccessibleObjectFromWindow(Item(control), static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                                            reinterpret_cast<void**>(&object)));
        BSTR text = nullptr;
        VARIANT self{};  // lVal: CHILDID_SELF
        self.vt = VT_I4;
        object->get_accName(self, &text);
        EXPECT_EQ(text != nullptr ? Utf8FromWide(text) : "none", name) << ControlName(control);
        SysFreeString(text), object->Release();
    }
}

// The window program's manifest asks for the common controls of version 6.
TEST(Win32Program, ManifestAsksForCommonControls6) {
    const HMODULE program = LoadLibraryExW(WideFromUtf8(SNAPSIFT_WINDOW_PROGRAM).c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr) << SNAPSIFT_WINDOW_PROGRAM;
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(program, found))), SizeofResource(program, found));
    FreeLibrary(program);
    manifest = manifest.substr(0, manifest.find("</dependentAssembly>")).substr(manifest.find("<dependentAssembly>") + 1);
    EXPECT_TRUE(manifest.find("name=\"Microsoft.Windows.Common-Controls\"") != std::string::npos &&
                manifest.find("version=\"6.0.0.0\"") != std::string::npos) << manifest;
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
