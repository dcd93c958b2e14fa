// The design of the program's two windows, whatever toolkit draws them: for the main window and
// the About box every control's kind, text, place in twips, font, alignment, colour and first
// look, in their creation order, with the tab order, the client size, the window's own font and
// caption, and the main window's menus. A view makes its widgets by going through these rows.
#pragma once

#include <string>
#include <span>
#include <string_view>
#include <vector>

#include "window/MainWindowView.h"

namespace snapsift {

inline constexpr int kTwipsPerInch = 1440;

struct TwipsRect {
    int left, top, width, height;
};

// The designed faces: the classic dialog sans serif and the wide screen face of the titles.
enum class Face { SansSerif, Verdana };

struct FontStyle {
    Face face = Face::SansSerif;
    int centipoints = 825;  // 8.25 pt
    bool bold = false;
    bool operator==(const FontStyle&) const = default;
};

enum class ControlKind {
    PushButton,     // runs its handler when pressed
    DefaultButton,  // a push button that Enter presses wherever the focus is
    CheckBox,       // its text wraps within its box
    TextBox,        // one read-only line that the program fills
    PathBox,        // several read-only lines that wrap anywhere, without scroll bars
    DropDownList,   // a list that opens below its box; nothing can be typed in it
    Label,          // plain text that wraps, in a smaller font when a stand-in face needs that to fit
    Link,           // a label that opens the maker's page when clicked
    Icon,           // the program's icon, kIconPixels square at 96 DPI
    Frame,          // a sunken frame around the controls placed inside it
    Rule,           // a one-pixel black line
    EtchedRule,     // a grey line over a white one
};

// Whether the kind takes the keyboard focus (and so stands in the tab order).
bool TakesFocus(ControlKind kind);
// Whether the kind shows text that is fitted to its box.
bool FitsText(ControlKind kind);

enum class Align { Left, Centre };

struct ControlDesign {
    std::string name;  // the widget's name ("StartButton")
    ControlKind kind;
    std::string text;  // CR LF line breaks
    TwipsRect place;   // in the client area, or inside the frame `inside` names
    FontStyle font;
    Align align = Align::Left;
    bool darkBlue = false;  // text colour 800000 (blue 128) instead of the system's
    bool visible = true;    // within its frame, for a control inside one
    bool checked = false;   // a check box's first value
    int inside = -1;        // the frame's index, or -1 for the client area
};

struct WindowDesign {
    std::string caption;
    int clientWidth, clientHeight;  // twips
    FontStyle font;                 // of the window, and of every control designed with it
    std::vector<ControlDesign> controls;  // creation order: each later one drawn over the earlier
    std::vector<int> tabOrder;            // indexes into controls: each control that takes the focus
};

// The text colour of the dark blue labels, where it can be read (see DarkBlueOr).
inline constexpr unsigned char kDarkBlue[3] = {0x00, 0x00, 0x80};
// The icon's side in pixels at 96 DPI, scaled with the resolution.
inline constexpr int kIconPixels = 48;
// The drive list shows this many entries when open (where the toolkit leaves that to the window).
inline constexpr int kDriveListRows = 8;

// The main window: controls indexed by Control; its client height is the running look's.
const WindowDesign& MainWindowDesign();
const ControlDesign& Design(Control control);

enum class AboutControl : int;

// The main window's menus, left to right, and their items, top to bottom. A title or an item
// marks its access key with "&" before it (Alt+F opens File, then X chooses Exit); "&&" is a
// plain "&". No two titles, and no two items of one menu, share a key.
struct MenuItemDesign {
    std::string_view item;
    MenuCommand command;
    std::string_view itemName;  // as a window names it
};
struct MenuDesign {
    std::string_view title;
    std::string_view menuName;  // as a window names it
    std::span<const MenuItemDesign> items;
};
inline constexpr MenuItemDesign kFileItems[] = {
    {"&Open Last Report", MenuCommand::OpenLastReport, "OpenLastReportItem"},
    {"Open Last &Summary", MenuCommand::OpenLastSummary, "OpenLastSummaryItem"},
    {"E&xit", MenuCommand::Exit, "ExitItem"}};
inline constexpr MenuItemDesign kHelpItems[] = {{"&About...", MenuCommand::About, "AboutItem"}};
inline constexpr MenuDesign kMenus[] = {{"&File", "FileMenu", kFileItems}, {"&Help", "HelpMenu", kHelpItems}};

// What a screen reader calls a control: its own text where that says what it is, else a name
// of its own ("Output folder"); never empty, and no two controls of a window share one.
std::string AccessibleName(Control control);
std::string AccessibleName(AboutControl control);

// Colours as red, green and blue.
struct Rgb {
    unsigned char red, green, blue;
    bool operator==(const Rgb&) const = default;
};
// The contrast ratio of two colours, 1 to 21, as accessibility guidelines reckon it.
double ContrastRatio(Rgb first, Rgb second);
// The text colour of a label designed dark blue, on a window whose background is `background`
// and whose own text colour is `systemText`: the dark blue where it stands out clearly from that
// background (4.5:1 or more) and the user has not asked for high contrast, else the system's.
Rgb DarkBlueOr(Rgb background, Rgb systemText, bool highContrast);

// The About box's controls, in their creation order.
enum class AboutControl : int {
    Icon,         // the program's icon
    Title,        // the program's title
    Version,      // "Version 1.2.0"
    Copyright,    // the copyright line, a link to the maker's page
    Address,      // the maker's web address, a link to it
    Description,  // what the program does
    Rule,         // the etched line under the description
    Disclaimer,   // the legal disclaimer
    OkButton,     // closes the box, as Enter and Esc do
};
inline constexpr int kAboutControlCount = static_cast<int>(AboutControl::OkButton) + 1;

const WindowDesign& AboutBoxDesign();
const ControlDesign& Design(AboutControl control);

}  // namespace snapsift
