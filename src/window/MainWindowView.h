// What the window logic asks of a main window that draws it: named controls to show, enable
// and fill, the check boxes and the drive list to read, the drive list's disk image entries,
// the client height, the modal boxes, the folder and image choosers, the About box, closing,
// a timer and a steady clock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace snapsift {

// The main window's client height in twips, and the progress frame's part of it that the idle
// look cuts off.
inline constexpr int kClientHeight = 6270;
inline constexpr int kProgressHeight = 1500;

// The main window's controls, in their creation order.
enum class Control {
    HelpButton,          // "?": the help text in a message box
    ProfileFoldersOnly,  // check box: search the user profile folders of the selected drive only
    DriveList,           // the drives (volumes), the disk image entries and "Add disk image..."
    OutputFolderBox,     // the output folder chosen
    SourceFolderBox,     // the source folder chosen, in folder mode
    IncludePhotos,       // check box: copies of the photos in the report
    AbortButton,         // ABORT: asks, then stops the scan; shown while it runs
    ProgressFrame,       // the frame of the scanning path, uncovered while a scan runs
    ShownPath,           // the path being examined, inside the progress frame
    ScanningLabel,       // "Scanning:", inside the progress frame
    StartButton,         // START: runs the scan
    OutputBrowseButton,  // chooses the output folder
    SearchSubfolders,    // check box: the source folder's subfolders too, in folder mode
    SourceBrowseButton,  // chooses the source folder, in folder mode
    Divider,             // the line between the source and the output parts
    ReportNote,          // the note on what is saved to the output folder
    OutputCaption,       // "Select an output folder:"
    SourceCaption,       // "Select a source:"
    CopyrightLabel,      // the copyright line under the title
    TitleLabel,          // the program's title and version
    SearchUnallocated,   // check box: a disk image entry's unallocated space too; shown for such an entry
};
inline constexpr int kControlCount = static_cast<int>(Control::SearchUnallocated) + 1;

// The main window's menu items.
enum class MenuCommand {
    Exit,            // closes the window, as the close box does
    About,           // the About box
    OpenLastReport,  // the report of the last run in the system's browser
    OpenLastSummary, // the last run's summary by Quorvia user ID in the system's browser
};

// The control's name, as a window names its widget ("StartButton").
std::string_view ControlName(Control control);

class MainWindowView {
public:
    virtual ~MainWindowView() = default;

    virtual void SetVisible(Control control, bool visible) = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    // Text of a text box, a label or a caption; line breaks as CR LF.
    virtual void SetText(Control control, const std::string& text) = 0;
    // A check box's value: checked (1) or not (0).
    virtual bool IsChecked(Control control) const = 0;
    // The search prefix of DriveList's selected entry, without a trailing separator: "c:" on
    // Windows, a mount point such as "/media/evidence" (or "" for "/") elsewhere.
    virtual std::string SelectedDrivePrefix() const = 0;
    // DriveList's entries after the volumes: the disk image entries in order, then addEntry, the
    // entry that asks for an image to add (none when ""). select >= 0 selects that image entry;
    // -1 keeps the selection. A view that offers no disk images leaves all three alone.
    virtual void SetImageEntries(const std::vector<std::string>& /*entries*/, const std::string& /*addEntry*/,
                                 int /*select*/) {}
    // The selected entry's index among the image entries; -1 for a volume, or no selection.
    virtual int SelectedImageEntry() const { return -1; }
    // The client area below the menu bar, in twips; the width stays as designed.
    virtual void SetClientHeight(int twips) = 0;
    // The window's caption, in the title bar and the task bar.
    virtual void SetCaption(const std::string& text) = 0;
    // Puts the keyboard focus on a control.
    virtual void SetFocus(Control control) = 0;
    // A menu item enabled or greyed out.
    virtual void SetMenuEnabled(MenuCommand command, bool enabled) = 0;
    // Opens a file in the system's web browser (or whatever the user has chosen for its kind);
    // false when the system could not.
    virtual bool OpenInBrowser(const std::string& path) = 0;

    // Modal boxes with the text alone (CR LF line breaks), no icon and the program's title as
    // caption: OK only, or Yes and No (true for Yes) with the button that Enter presses.
    virtual void ShowMessage(std::string_view text) = 0;
    enum class Preselected { Yes, No };
    virtual bool AskYesNo(std::string_view text, Preselected preselected) = 0;
    // The modal folder chooser with a title, opening at startFolder ("" leaves the start to the
    // chooser). A folder ending in one separator, or "" when nothing was chosen.
    virtual std::string BrowseFolder(std::string_view title, const std::string& startFolder) = 0;
    // The modal file chooser for a disk image with a title, offering the files whose names match
    // one of the space-separated patterns ("*.dd *.E01") or any file, opening at startFile ("" leaves
    // the start to the chooser). The chosen file's path, or "" when nothing was chosen.
    virtual std::string ChooseDiskImage(std::string_view /*title*/, std::string_view /*patterns*/,
                                        const std::string& /*startFile*/) {
        return {};
    }
    // The About box, modeless: made when none is open, else brought to the front.
    virtual void ShowAbout() = 0;
    // A request to close the window; it goes through OnCloseRequested like the close box.
    virtual void Close() = 0;

    // While on, the view's timer calls the logic's OnTick every kScanTickMs milliseconds.
    virtual void SetTicking(bool on) = 0;
    // A steady clock in nanoseconds.
    virtual std::int64_t NowNs() const = 0;
};

}  // namespace snapsift
