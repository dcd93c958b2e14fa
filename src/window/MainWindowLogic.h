// The main window's rules, whatever toolkit draws it: its handlers, the idle and running
// looks, the folder choice, the disk images in the drive list, the help text, START's question
// about access times, ABORT's question, the close veto and the paced path display. It hosts the
// scan run that START performs, reading its settings from the view's controls at the moment they
// are needed, and keeps the names of what the run could not read.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AccessTimes.h"
#include "scan/ScanHost.h"
#include "scan/ScanRun.h"
#include "scan/ScanState.h"
#include "window/MainWindowView.h"
#include "window/WindowDesign.h"
#include "window/ImageEntries.h"

namespace snapsift {

// ShownPath follows the walk at the screen's pace: at most one new path per interval.
inline constexpr std::int64_t kShownPathIntervalNs = 25'000'000;

// The caption shows a running scan's progress at most this often.
inline constexpr std::int64_t kProgressCaptionIntervalNs = 250'000'000;

// The title label's text: the program's title and version ("Snapsift v1.2.0").
std::string TitleText();
// The caption while a scan runs: "Snapsift - 12,345 files, 17 found, 0:42" (the elapsed time as
// minutes and seconds, with hours in front from the first hour on).
std::string ProgressCaption(std::uint64_t filesExamined, std::int32_t filesFound, std::int64_t elapsedSeconds);

// START's question when the search will move access times (ForecastAccessTimes says so): why, and
// how to keep them. No means no scan.
std::string AccessTimeQuestion();

// A FileProblem message as a box shows it: the text, then " Click OK to continue.".
std::string FileProblemBoxText(std::string_view text);

class MainWindowLogic : public ScanHost {
public:
    // view draws the window; state is the program-wide scan state.
    MainWindowLogic(MainWindowView& view, ScanState& state);
    MainWindowLogic(const MainWindowLogic&) = delete;
    MainWindowLogic& operator=(const MainWindowLogic&) = delete;

    // What a scan started here takes besides the window (tests put in their own clock).
    void SetScanEnvironment(ScanEnvironment environment);
    // What START asks of the system before a scan of the live file system (tests put in their own).
    using AccessTimeForecaster = std::function<AccessTimeForecast(const std::string& searchRoot)>;
    void SetAccessTimeForecaster(AccessTimeForecaster forecaster);
    // What the last run started here lacks, with the names of what it could not read (as the
    // report's closing lines give them); empty before any run.
    const EvidenceGaps& LastRunGaps() const { return lastRunGaps_; }

    void OnLoad();
    void OnProfileModeClicked();
    void OnSourceBrowseClicked();
    void OnOutputBrowseClicked();
    void OnHelpClicked();
    // DriveList's "Add disk image..." entry chosen: the view has kept the selection as it was.
    void OnAddImageChosen();
    // Asks first when the run would move access times; no scan when the answer is No.
    void OnStartClicked();
    void OnAbortClicked();
    // True when the close must be cancelled: while a scan runs (AbortButton is visible).
    bool CloseRefused() const;
    void OnExitChosen();
    void OnAboutChosen();
    // File > Open Last Report: the report of this window's last run in the system's browser.
    void OnOpenLastReportChosen();

    // ScanHost
    bool ProfileMode() const override;
    bool SearchSubfolders() const override;
    bool IncludePhotos() const override;
    std::string SelectedDriveRoot() const override;
    // The selected image entry's volume, in profile mode; the folder mode reads the live system.
    const ImageSource* Image() const override;
    void ShowPath(const std::string& fullPath) override;
    void Yield() override;
    void FileFound(std::int32_t filesFound) override { filesFound_ = filesFound; }
    void ShowMessage(std::string_view text, MessageKind kind) override;
    bool AskYesNo(std::string_view text) override;
    void SetRunningLook(bool running) override;
    // A folder that could not be read is no box of its own: the run counts and names it, in its
    // final message and the report's closing lines, and the window keeps the run's gaps.
    void FolderUnreadable(const std::string&, const SystemError&) override {}

private:
    void ChooseFolder(std::string& folder, Control box, std::string_view title);
    // True while a scan runs (the running look is on).
    bool Running() const { return abortShown_; }
    // Whether the run START would make may begin as far as access times go: it would keep them,
    // the run's own checks will stop it anyway, or the user said Yes.
    bool AccessTimeChangeAccepted();
    // The folder under which the run START would make reads the live file system.
    std::string LiveSearchRoot() const;
    void SetVisible(Control control, bool visible);
    // The window's own caption again, where the caption counts a run's progress.
    void ShowIdleCaption();
    // Puts the last path given to ShowPath into ShownPath when it is not there yet.
    void BringShownPathUpToDate();
    // Gives the view the image entries, selecting `select` (-1 keeps the selection).
    void ShowImageEntries(int select);

    MainWindowView& view_;
    ScanState& state_;
    ScanEnvironment environment_;
    bool abortShown_ = false;
    std::string shownPath_;
    bool shownPathPending_ = false;
    std::int64_t shownPathAtNs_ = std::numeric_limits<std::int64_t>::min() / 2;  // long ago
    // The running scan's progress in the caption.
    std::int64_t scanStartNs_ = 0;
    std::int64_t captionAtNs_ = 0;
    std::uint64_t filesExamined_ = 0;
    std::int32_t filesFound_ = 0;
    std::string lastReport_;  // the report of the last run that wrote one
    // Kept while the program runs, each where it was made: a scan holds its entry's source.
    std::vector<std::unique_ptr<ImageEntry>> images_;
    std::string lastImage_;  // the image file chosen last
    AccessTimeForecaster forecastAccessTimes_ = ForecastAccessTimes;
    bool captionShowsProgress_ = false;
    EvidenceGaps lastRunGaps_;
};

}  // namespace snapsift
