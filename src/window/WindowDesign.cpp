#include "window/WindowDesign.h"

#include <algorithm>
#include <cmath>

#include "scan/Version.h"
#include "window/AboutText.h"

namespace snapsift {

namespace {

constexpr FontStyle kDefault{Face::SansSerif, 825, false};
constexpr FontStyle kBold{Face::SansSerif, 825, true};
constexpr FontStyle kLarger{Face::SansSerif, 975, false};
constexpr FontStyle kLargerBold{Face::SansSerif, 975, true};
constexpr FontStyle kHeading{Face::SansSerif, 1200, true};
constexpr FontStyle kVerdana12{Face::Verdana, 1200, true};
constexpr FontStyle kVerdana18{Face::Verdana, 1800, true};

constexpr int kFrame = static_cast<int>(Control::ProgressFrame);

WindowDesign MakeMainWindow() {
    using K = ControlKind;
    WindowDesign window{std::string(kAppTitle), 6990, kClientHeight, kDefault, {}, {}};
    window.controls = {
        {"HelpButton", K::PushButton, "?", {6480, 1275, 375, 375}, kLargerBold},
        {"ProfileFoldersOnly", K::CheckBox, "Only Search User Profile Folders On Selected Drive",
         {4200, 1200, 2175, 495}, kDefault, Align::Left, false, true, true},
        {"DriveList", K::DropDownList, "", {480, 1800, 5055, 360}, kLarger},
        {"OutputFolderBox", K::TextBox, "", {120, 3240, 5415, 375}, kDefault},
        {"SourceFolderBox", K::TextBox, "", {480, 1800, 5055, 375}, kDefault, Align::Left, false, false},
        {"IncludePhotos", K::CheckBox, "Include photos in report", {4680, 4155, 2055, 255}, kDefault,
         Align::Left, false, true, true},
        {"AbortButton", K::PushButton, "ABORT", {2160, 3960, 2295, 615}, kVerdana12, Align::Left, false, false},
        {"ProgressFrame", K::Frame, "", {0, 4680, 6975, 1575}, kDefault, Align::Left, false, false},
        {"ShownPath", K::PathBox, "", {120, 480, 6735, 975}, kLarger, Align::Left, false, true, false, kFrame},
        {"ScanningLabel", K::Label, "Scanning:", {120, 160, 855, 255}, kBold, Align::Left, false, true, false,
         kFrame},
        {"StartButton", K::PushButton, "START", {2160, 3960, 2295, 615}, kVerdana12},
        {"OutputBrowseButton", K::PushButton, "Browse", {5640, 3240, 1215, 375}, kDefault},
        {"SearchSubfolders", K::CheckBox, "Search subfolders", {2880, 1200, 1095, 495}, kDefault, Align::Left,
         false, false, true},
        {"SourceBrowseButton", K::PushButton, "Browse", {5640, 1800, 1215, 375}, kDefault, Align::Left, false,
         false},
        {"Divider", K::Rule, "", {0, 2400, 6960, 15}, kDefault},
        {"ReportNote", K::Label,
         "(an HTML report file called 'Quorvia JPG Files.htm' will be saved to this folder, along with "
         "copies of all the located image files)",
         {2400, 2520, 3735, 735}, kDefault, Align::Left, true},
        {"OutputCaption", K::Label, "Select an output folder:", {120, 2880, 2175, 255}, kBold},
        {"SourceCaption", K::Label, "Select a source:", {120, 1440, 1455, 255}, kBold},
        {"CopyrightLabel", K::Label, kCopyrightLine, {240, 615, 6495, 375}, kVerdana12, Align::Centre, true},
        // Its text comes with the window's load.
        {"TitleLabel", K::Label, "", {240, 75, 6495, 495}, kVerdana18, Align::Centre, true},
        // Where "Search subfolders" stands in folder mode: the two never show together.
        {"SearchUnallocated", K::CheckBox, "Also search unallocated space (slow)", {1800, 1200, 2280, 495}, kDefault,
         Align::Left, false, false, false},
    };
    for (Control control : {Control::SourceBrowseButton, Control::SearchSubfolders, Control::OutputBrowseButton,
                            Control::StartButton, Control::AbortButton, Control::IncludePhotos,
                            Control::SourceFolderBox, Control::OutputFolderBox, Control::SearchUnallocated,
                            Control::DriveList, Control::ProfileFoldersOnly, Control::HelpButton, Control::ShownPath}) {
        window.tabOrder.push_back(static_cast<int>(control));
    }
    return window;
}

WindowDesign MakeAboutBox() {
    using K = ControlKind;
    WindowDesign window{"About " + std::string(kAppTitle), 5730, 3825, kDefault, {}, {}};
    window.controls = {
        {"Icon", K::Icon, "", {120, 120, 780, 780}, kDefault},
        {"Title", K::Label, std::string(kAppTitle), {1170, 120, 3885, 360}, kHeading},
        {"Version", K::Label, "Version " + std::string(kAppVersion), {1170, 360, 3885, 345}, kHeading},
        {"Copyright", K::Link, kCopyrightLine, {1440, 720, 4005, 315}, kLargerBold},
        {"Address", K::Link, kMakerAddress, {1440, 960, 2925, 255}, kLargerBold},
        {"Description", K::Label, kAboutDescriptionText, {1050, 1440, 4005, 1290}, kLarger},
        {"Rule", K::EtchedRule, "", {90, 2760, 5564, 30}, kDefault},
        {"Disclaimer", K::Label, kAboutDisclaimerText, {120, 3000, 3870, 705}, kDefault},
        {"OkButton", K::DefaultButton, "OK", {4320, 3360, 1260, 345}, kDefault},
    };
    window.tabOrder = {static_cast<int>(AboutControl::OkButton)};
    return window;
}

}  // namespace

bool TakesFocus(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultButton:
        case ControlKind::CheckBox:
        case ControlKind::TextBox:
        case ControlKind::PathBox:
        case ControlKind::DropDownList: return true;
        default: return false;
    }
}

bool FitsText(ControlKind kind) { return kind == ControlKind::Label || kind == ControlKind::Link; }

const WindowDesign& MainWindowDesign() {
    static const WindowDesign design = MakeMainWindow();
    return design;
}

const ControlDesign& Design(Control control) {
    return MainWindowDesign().controls[static_cast<std::size_t>(control)];
}

std::string_view ControlName(Control control) { return Design(control).name; }

const WindowDesign& AboutBoxDesign() {
    static const WindowDesign design = MakeAboutBox();
    return design;
}

const ControlDesign& Design(AboutControl control) {
    return AboutBoxDesign().controls[static_cast<std::size_t>(control)];
}

std::string AccessibleName(Control control) {
    switch (control) {
        case Control::HelpButton: return "Help";
        case Control::DriveList: return "Drive to search";
        case Control::OutputFolderBox: return "Output folder";
        case Control::SourceFolderBox: return "Folder to search";
        case Control::ProgressFrame: return "Progress";
        case Control::ShownPath: return "File being examined";
        case Control::OutputBrowseButton: return "Browse for the output folder";
        case Control::SourceBrowseButton: return "Browse for the folder to search";
        case Control::Divider: return "Divider line";
        case Control::TitleLabel: return std::string(kAppTitle) + " v" + std::string(kAppVersion);
        default: return Design(control).text;
    }
}

std::string AccessibleName(AboutControl control) {
    switch (control) {
        case AboutControl::Icon: return "Program icon";
        case AboutControl::Rule: return "Divider line";
        default: return Design(control).text;
    }
}

namespace {

// A colour channel's share of the light, from its sRGB value.
double Linear(unsigned char channel) {
    const double value = channel / 255.0;
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double Luminance(Rgb colour) {
    return 0.2126 * Linear(colour.red) + 0.7152 * Linear(colour.green) + 0.0722 * Linear(colour.blue);
}

}  // namespace

double ContrastRatio(Rgb first, Rgb second) {
    const double a = Luminance(first), b = Luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

Rgb DarkBlueOr(Rgb background, Rgb systemText, bool highContrast) {
    constexpr double kReadable = 4.5;
    const Rgb darkBlue{kDarkBlue[0], kDarkBlue[1], kDarkBlue[2]};
    if (highContrast || ContrastRatio(darkBlue, background) < kReadable) return systemText;
    return darkBlue;
}

}  // namespace snapsift
