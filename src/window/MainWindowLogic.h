// The main window's rules, whatever toolkit draws it: its handlers, the idle and running
// looks, the folder choice, the disk images in the drive list, the help text, START's question
// about access times, ABORT's question and a close during a scan. START runs the scan on a thread
// of its own with the settings the controls then give; the window's thread takes what the run
// has to show on each tick of the view's timer (the path, the counts in the caption, the looks,
// the boxes, whose answers the run waits for, and its end), so the window answers whatever the
// run waits on. The logic keeps the names of what the run could not read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/AccessTimes.h"
#include "scan/ScanHost.h"
#include "scan/ScanRun.h"
#include "scan/ScanState.h"
#include "window/MainWindowView.h"
#include "window/ScanChannel.h"
#include "window/WindowDesign.h"
#include "window/ImageEntries.h"

namespace snapsift {

// How often the view's timer calls OnTick while a scan runs.
inline constexpr int kScanTickMs = 50;

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

class MainWindowLogic {
public:
    // view draws the window; state is the program-wide scan state.
    MainWindowLogic(MainWindowView& view, ScanState& state);
    // A scan still running is aborted, its boxes answered No, and waited for.
    virtual ~MainWindowLogic();
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
    // DriveList's selection changed by the user.
    void OnDriveSelected();
    // Asks first when the run would move access times; no scan when the answer is No. Nothing
    // while a scan runs.
    void OnStartClicked();
    // Asks; Yes stops the scan at its next check, a box it has queued answered No unshown.
    void OnAbortClicked();
    // The view's timer, every kScanTickMs while a scan runs: what the run has to show, in order.
    void OnTick();
    // True when the window may close now. During a scan the scan is aborted, every box it asks
    // answered No unshown, and the window closed (Close) once the scan has ended.
    bool OnCloseRequested();
    void OnExitChosen();
    void OnAboutChosen();
    // File > Open Last Report: the report of this window's last run in the system's browser.
    void OnOpenLastReportChosen();
    // File > Open Last Summary: that run's summary by Quorvia user ID, beside its report.
    void OnOpenLastSummaryChosen();

    // True from START until the scan's end has been taken.
    bool Running() const { return worker_.joinable(); }

    // The settings a scan started now would read, from the controls.
    bool ProfileMode() const;
    bool SearchSubfolders() const;
    bool IncludePhotos() const;
    std::string SelectedDriveRoot() const;
    // The selected image entry's volume, in profile mode, with its partition's unallocated space
    // when "Also search unallocated space" is checked; the folder mode reads the live system.
    virtual const ImageSource* Image() const;
    // A box as the run asks it, and the two looks.
    void ShowMessage(std::string_view text, MessageKind kind);
    void SetRunningLook(bool running);

private:
    void ChooseFolder(std::string& folder, Control box, std::string_view title);
    // Whether the run START would make may begin as far as access times go: it would keep them,
    // the run's own checks will stop it anyway, or the user said Yes.
    bool AccessTimeChangeAccepted();
    // The folder under which the run START would make reads the live file system.
    std::string LiveSearchRoot() const;
    void SetVisible(Control control, bool visible);
    // The window's own caption again, where the caption counts a run's progress.
    void ShowIdleCaption();
    // The run's latest path into ShownPath when it is new, and its counts into the caption when
    // it is due.
    void ShowProgress();
    // The run's end taken: the thread joined, its result kept.
    void EndRun();
    // Gives the view the image entries, selecting `select` (-1 keeps the selection).
    void ShowImageEntries(int select);
    // The selected image entry, in profile mode; none for a volume.
    const ImageEntry* SelectedImage() const;
    // SearchUnallocated shown for an image entry alone.
    void ShowCarvingChoice();

    MainWindowView& view_;
    ScanState& state_;
    ScanEnvironment environment_;
    bool abortShown_ = false;
    // The running scan's host and thread; the progress in the caption.
    std::unique_ptr<ScanChannel> channel_;
    std::thread worker_;
    bool boxOpen_ = false;      // a box of the run's is on show: the next waits
    bool closeWhenDone_ = false;
    std::int64_t scanStartNs_ = 0;
    std::int64_t captionAtNs_ = 0;
    std::string lastReport_;  // the report of the last run that wrote one
    std::string lastSummary_;  // that run's summary
    // Kept while the program runs, each where it was made: a scan holds its entry's source.
    std::vector<std::unique_ptr<ImageEntry>> images_;
    std::string lastImage_;  // the image file chosen last
    AccessTimeForecaster forecastAccessTimes_ = ForecastAccessTimes;
    bool captionShowsProgress_ = false;
    EvidenceGaps lastRunGaps_;
};

}  // namespace snapsift
