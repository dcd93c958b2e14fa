#include "window/MainWindowLogic.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "report/UserSummary.h"
#include "scan/Version.h"
#include "text/PathText.h"

namespace snapsift {

namespace {

constexpr char kChooseSourceTitle[] = "Choose the folder to search:";
constexpr char kChooseOutputTitle[] = "Choose where the run folder goes:";
constexpr char kChooseImageTitle[] = "Choose a disk image:";
constexpr char kImagePatterns[] = "*.dd *.raw *.img *.001 *.E01 *.e01";
constexpr char kAddImageEntry[] = "Add disk image...";
constexpr char kImageNotAdded[] = "The disk image could not be added.\r\n\r\n";
constexpr char kAbortQuestion[] = "Are you sure you want to cancel this operation?";
constexpr std::string_view kClickOk = "Click OK to continue.";
constexpr char kHelpText[] =
    "If \"Only Search User Profile Folders On Selected Drive\" is checked, the user profile folders of "
    "the selected drive ('Users', or 'Documents and Settings' on older Windows) are searched. Browsers "
    "keep their caches there, so this is usually all that is needed."
    "\r\n\r\n"
    "If it is not checked, press Browse to choose one folder to search, and check \"Search subfolders\" "
    "to search the folders inside it as well."
    "\r\n\r\n"
    "Photos are found by their file names, and inside browser caches by the address they came from: "
#ifdef SNAPSIFT_SQLITE
    "Chromium's (blockfile, simple and SQL caches), "
#else
    "Chromium's (blockfile and simple caches; an SQL cache is named in the report, not read), "
#endif
    "Firefox's (cache2, and the older _CACHE_MAP_ cache), and the old cache's index.dat.";
constexpr char kHelpImagesText[] =
    "\r\n\r\nTo search a disk image (raw, split or E01) of an NTFS drive without mounting it, choose "
    "\"Add disk image...\" at the end of the drive list; each of its partitions that holds user profiles "
    "can then be chosen like a drive.";
constexpr char kHelpNoImagesText[] =
    "\r\n\r\nThis version cannot read disk images itself: mount the image read-only with a mounting "
    "tool, then choose its drive letter.";
constexpr char kHelpReportText[] =
    "\r\n\r\nEach search makes a new folder in the output folder, named \"Snapsift - \" and the date "
    "and time. It holds the HTML report ('Quorvia JPG Files.htm'), the same entries as a CSV file, a "
    "timeline of their times, a summary by Quorvia user ID ('Quorvia user IDs.htm' and a CSV), SHA256SUMS with the digest of every file in the folder and, with "
    "\"Include photos in report\", a numbered copy of each photo. The message at the end gives the "
    "report's and the summary's full paths; File > Open Last Report opens the report and File > Open "
    "Last Summary the summary.";
#ifdef _WIN32
constexpr char kAccessTimeQuestion[] =
    "Searching will change the last-access times of the files that this account may only read."
    "\r\n\r\nWithout administrator rights the program cannot ask Windows to leave such a file as it was, "
    "so reading it updates its access time. To keep the access times, close the program and run it as "
    "administrator.\r\n\r\nStart the scan anyway?";
#else
constexpr char kAccessTimeQuestion[] =
    "Searching will change the last-access times of the files that belong to other users."
    "\r\n\r\nOnly root (or a process with CAP_FOWNER) may ask the system to leave another user's file as "
    "it was, so reading such a file updates its access time. To keep the access times, run the program as "
    "root, or mount the evidence read-only.\r\n\r\nStart the scan anyway?";
#endif

// One step of a look: a control shown, hidden, enabled or disabled, or the client area grown
// to its designed height to uncover ProgressFrame, or shrunk to cut it off.
enum class Change { Show, Hide, Enable, Disable, Grow, Shrink };
struct LookStep {
    Change change;
    Control control;
};

// The two looks, step by step in their order: [0] idle, [1] running.
constexpr LookStep kLooks[2][12] = {
    {{Change::Enable, Control::ProfileFoldersOnly},
     {Change::Enable, Control::DriveList},
     {Change::Enable, Control::IncludePhotos},
     {Change::Enable, Control::SearchSubfolders},
     {Change::Enable, Control::SearchUnallocated},
     {Change::Enable, Control::OutputBrowseButton},
     {Change::Enable, Control::SourceBrowseButton},
     {Change::Show, Control::StartButton},
     {Change::Hide, Control::AbortButton},
     {Change::Hide, Control::ProgressFrame},
     {Change::Enable, Control::HelpButton},
     {Change::Shrink, Control::ProgressFrame}},
    {{Change::Disable, Control::ProfileFoldersOnly},
     {Change::Disable, Control::DriveList},
     {Change::Show, Control::ProgressFrame},
     {Change::Disable, Control::OutputBrowseButton},
     {Change::Disable, Control::SourceBrowseButton},
     {Change::Hide, Control::StartButton},
     {Change::Show, Control::AbortButton},
     {Change::Disable, Control::SearchSubfolders},
     {Change::Disable, Control::IncludePhotos},
     {Change::Disable, Control::SearchUnallocated},
     {Change::Disable, Control::HelpButton},
     {Change::Grow, Control::ProgressFrame}},
};

}  // namespace

std::string AccessTimeQuestion() { return kAccessTimeQuestion; }

std::string FileProblemBoxText(std::string_view text) {
    std::string shown(text);
    // A text that says it already, as the core's texts once did, says it once.
    if (!shown.ends_with(kClickOk)) shown.append(" ").append(kClickOk);
    return shown;
}

std::string TitleText() { return std::string(kAppTitle) + " v" + std::string(kAppVersion); }

namespace {

// 12345 as "12,345".
std::string Grouped(std::uint64_t number) {
    std::string digits = std::to_string(number);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
    return digits;
}

std::string TwoDigits(std::int64_t number) {
    std::string digits = std::to_string(number);
    if (number >= 0 && number < 10) digits.insert(digits.begin(), '0');
    return digits;
}

}  // namespace

std::string ProgressCaption(std::uint64_t filesExamined, std::int32_t filesFound, std::int64_t elapsedSeconds) {
    if (elapsedSeconds < 0) elapsedSeconds = 0;
    const std::int64_t hours = elapsedSeconds / 3600, minutes = elapsedSeconds / 60 % 60, seconds = elapsedSeconds % 60;
    const std::string elapsed = hours > 0 ? std::to_string(hours) + ":" + TwoDigits(minutes) + ":" + TwoDigits(seconds)
                                          : std::to_string(minutes) + ":" + TwoDigits(seconds);
    return std::string(kAppTitle) + " - " + Grouped(filesExamined) + (filesExamined == 1 ? " file, " : " files, ") +
           Grouped(static_cast<std::uint64_t>(std::max(filesFound, 0))) + " found, " + elapsed;
}

MainWindowLogic::MainWindowLogic(MainWindowView& view, ScanState& state) : view_(view), state_(state) {}

MainWindowLogic::~MainWindowLogic() {
    if (!Running()) return;
    state_.abortRequested = true;
    channel_->Close();
    worker_.join();
}

void MainWindowLogic::SetScanEnvironment(ScanEnvironment environment) {
    environment_ = std::move(environment);
}

void MainWindowLogic::SetAccessTimeForecaster(AccessTimeForecaster forecaster) {
    forecastAccessTimes_ = std::move(forecaster);
}

void MainWindowLogic::OnLoad() {
    view_.SetText(Control::TitleLabel, TitleText());
    view_.SetClientHeight(kClientHeight - kProgressHeight);
    view_.SetMenuEnabled(MenuCommand::OpenLastReport, false);
    view_.SetMenuEnabled(MenuCommand::OpenLastSummary, false);
    if (DiskImagesReadable()) ShowImageEntries(-1);
    view_.SetFocus(Control::StartButton);
}

void MainWindowLogic::OnProfileModeClicked() {
    if (view_.IsChecked(Control::ProfileFoldersOnly)) {
        SetVisible(Control::SourceBrowseButton, false);
        SetVisible(Control::DriveList, true);
        SetVisible(Control::SourceFolderBox, false);
        SetVisible(Control::SearchSubfolders, false);
    } else {
        SetVisible(Control::DriveList, false);
        SetVisible(Control::SourceFolderBox, true);
        SetVisible(Control::SearchSubfolders, true);
        SetVisible(Control::SourceBrowseButton, true);
    }
    ShowCarvingChoice();
}

void MainWindowLogic::OnDriveSelected() { ShowCarvingChoice(); }

// The unallocated space can be searched only in a disk image.
void MainWindowLogic::ShowCarvingChoice() { SetVisible(Control::SearchUnallocated, SelectedImage() != nullptr); }

// The chooser opens at the folder chosen last; a cancel keeps that choice. While a scan runs the
// folders it reads and writes stay as they are.
void MainWindowLogic::ChooseFolder(std::string& folder, Control box, std::string_view title) {
    if (Running()) return;
    const std::string saved = folder;
    folder = view_.BrowseFolder(title, saved);
    if (!folder.empty()) {
        view_.SetText(box, folder);
        return;
    }
    folder = saved;
    if (!saved.empty()) view_.SetText(box, saved);
}

void MainWindowLogic::OnSourceBrowseClicked() {
    ChooseFolder(state_.sourceFolder, Control::SourceFolderBox, kChooseSourceTitle);
}

void MainWindowLogic::OnOutputBrowseClicked() {
    ChooseFolder(state_.outputFolder, Control::OutputFolderBox, kChooseOutputTitle);
}

void MainWindowLogic::OnHelpClicked() {
    ShowMessage(std::string(kHelpText) + (DiskImagesReadable() ? kHelpImagesText : kHelpNoImagesText) + kHelpReportText,
                MessageKind::Information);
}

// Each partition of the image that a profile search can read becomes an entry, the first of
// them selected; an image already listed is selected again rather than listed twice. While a
// scan runs the drive list's selection stays the source it searches.
void MainWindowLogic::OnAddImageChosen() {
    if (Running()) return;
    const std::string path = view_.ChooseDiskImage(kChooseImageTitle, kImagePatterns, lastImage_);
    if (path.empty()) return;
    lastImage_ = path;
    for (std::size_t i = 0; i < images_.size(); ++i) {
        if (images_[i]->source.facts.path != path) continue;
        ShowImageEntries(static_cast<int>(i));
        return;
    }
    std::string problem;
    std::vector<std::unique_ptr<ImageEntry>> added = OpenImageEntries(path, problem);
    if (added.empty()) {
        ShowMessage(kImageNotAdded + problem, MessageKind::Stop);
        return;
    }
    const int first = static_cast<int>(images_.size());
    for (std::unique_ptr<ImageEntry>& entry : added) images_.push_back(std::move(entry));
    ShowImageEntries(first);
}

void MainWindowLogic::ShowImageEntries(int select) {
    std::vector<std::string> texts;
    for (const std::unique_ptr<ImageEntry>& entry : images_) texts.push_back(entry->text);
    view_.SetImageEntries(texts, kAddImageEntry, select);
    ShowCarvingChoice();
}

std::string MainWindowLogic::LiveSearchRoot() const {
    if (!ProfileMode()) return state_.sourceFolder;
    return WithoutTrailingSeparators(SelectedDriveRoot()) + kSeparator;
}

bool MainWindowLogic::AccessTimeChangeAccepted() {
    // A start that the run's own checks will stop says only why; an image's files are read from
    // the image, whose own times are no evidence.
    if (state_.outputFolder.empty() || (!ProfileMode() && state_.sourceFolder.empty()) || Image() != nullptr)
        return true;
    if (!forecastAccessTimes_ || forecastAccessTimes_(LiveSearchRoot()) == AccessTimeForecast::Kept) return true;
    // Enter, or a hurried click, keeps the evidence as it is.
    return view_.AskYesNo(kAccessTimeQuestion, MainWindowView::Preselected::No);
}

void MainWindowLogic::OnStartClicked() {
    if (Running() || !AccessTimeChangeAccepted()) return;
    channel_ = std::make_unique<ScanChannel>(
        ScanSettings{ProfileMode(), SearchSubfolders(), IncludePhotos(), SelectedDriveRoot(), Image()});
    closeWhenDone_ = false;
    view_.SetTicking(true);
    worker_ = std::thread([this, &channel = *channel_, environment = environment_] {
        ScanResult result;
        try {
            result = RunScan(state_, channel, environment);
        } catch (const std::exception& failure) {
            // Whatever the run had written stays; the examiner hears why it stopped, and the
            // window goes back to its idle look.
            channel.ShowMessage(std::string("The search stopped on a failure: ") + failure.what(), MessageKind::Final);
        }
        channel.Finish(std::move(result));
    });
}

void MainWindowLogic::OnTick() {
    if (!Running()) return;
    ShowProgress();
    // A box of the run's is open (the toolkit's modal loop calls again): the others wait for it.
    if (boxOpen_) return;
    while (std::optional<ScanEvent> event = channel_->Next()) {
        switch (event->kind) {
            case ScanEvent::Kind::Look: SetRunningLook(event->running); break;
            case ScanEvent::Kind::Message:
            case ScanEvent::Kind::Question: {
                ShowProgress();
                boxOpen_ = true;
                bool yes = true;
                if (event->kind == ScanEvent::Kind::Message)
                    ShowMessage(event->text, event->messageKind);
                else
                    yes = view_.AskYesNo(event->text, MainWindowView::Preselected::Yes);
                boxOpen_ = false;
                channel_->Answer(yes);
                break;
            }
            case ScanEvent::Kind::End: EndRun(); return;
        }
    }
}

void MainWindowLogic::EndRun() {
    worker_.join();
    const ScanResult& result = channel_->Result();
    lastRunGaps_ = result.gaps;
    if (!result.reportPath.empty()) {
        lastReport_ = result.reportPath;
        lastSummary_ = result.runFolder + std::string(kSummaryFileName);
        view_.SetMenuEnabled(MenuCommand::OpenLastReport, true);
        view_.SetMenuEnabled(MenuCommand::OpenLastSummary, true);
    }
    channel_.reset();
    view_.SetTicking(false);
    if (abortShown_) SetRunningLook(false);  // a run that failed on its way
    if (closeWhenDone_) view_.Close();
}

void MainWindowLogic::OnOpenLastReportChosen() {
    if (lastReport_.empty()) return;
    if (!view_.OpenInBrowser(lastReport_))
        ShowMessage("The report could not be opened:\r\n\r\n" + lastReport_, MessageKind::Information);
}

void MainWindowLogic::OnOpenLastSummaryChosen() {
    if (lastSummary_.empty()) return;
    if (!view_.OpenInBrowser(lastSummary_))
        ShowMessage("The summary could not be opened:\r\n\r\n" + lastSummary_, MessageKind::Information);
}

void MainWindowLogic::OnAbortClicked() {
    if (!Running()) return;
    ShowProgress();
    boxOpen_ = true;
    const bool yes = view_.AskYesNo(kAbortQuestion, MainWindowView::Preselected::Yes);
    boxOpen_ = false;
    if (!yes) return;
    state_.abortRequested = true;
    channel_->AnswerQueuedBox();
}

bool MainWindowLogic::OnCloseRequested() {
    if (!Running()) return true;
    closeWhenDone_ = true;
    state_.abortRequested = true;
    channel_->Close();
    return false;
}

void MainWindowLogic::OnExitChosen() { view_.Close(); }

void MainWindowLogic::OnAboutChosen() { view_.ShowAbout(); }

bool MainWindowLogic::ProfileMode() const { return view_.IsChecked(Control::ProfileFoldersOnly); }

bool MainWindowLogic::SearchSubfolders() const { return view_.IsChecked(Control::SearchSubfolders); }

bool MainWindowLogic::IncludePhotos() const { return view_.IsChecked(Control::IncludePhotos); }

std::string MainWindowLogic::SelectedDriveRoot() const { return view_.SelectedDrivePrefix(); }

const ImageEntry* MainWindowLogic::SelectedImage() const {
    if (!ProfileMode()) return nullptr;
    const int selected = view_.SelectedImageEntry();
    if (selected < 0 || selected >= static_cast<int>(images_.size())) return nullptr;
    return images_[static_cast<std::size_t>(selected)].get();
}

const ImageSource* MainWindowLogic::Image() const {
    const ImageEntry* entry = SelectedImage();
    if (entry == nullptr) return nullptr;
    return view_.IsChecked(Control::SearchUnallocated) ? &entry->withUnallocated : &entry->source;
}

void MainWindowLogic::ShowProgress() {
    if (!channel_) return;
    const ScanProgress progress = channel_->TakeProgress();
    if (progress.pathNew) view_.SetText(Control::ShownPath, progress.path);
    const std::int64_t now = view_.NowNs();
    if (captionShowsProgress_ && now - captionAtNs_ >= kProgressCaptionIntervalNs) {
        view_.SetCaption(ProgressCaption(progress.filesExamined, progress.filesFound, (now - scanStartNs_) / 1'000'000'000));
        captionAtNs_ = now;
    }
}

void MainWindowLogic::ShowMessage(std::string_view text, MessageKind kind) {
    // The run is over once its total shows: the caption no longer counts.
    if (kind == MessageKind::Final) ShowIdleCaption();
    if (kind == MessageKind::FileProblem)
        view_.ShowMessage(FileProblemBoxText(text));
    else
        view_.ShowMessage(text);
}

void MainWindowLogic::ShowIdleCaption() {
    if (!captionShowsProgress_) return;
    view_.SetCaption(MainWindowDesign().caption);
    captionShowsProgress_ = false;
}

void MainWindowLogic::SetVisible(Control control, bool visible) {
    if (control == Control::AbortButton) abortShown_ = visible;
    view_.SetVisible(control, visible);
}

void MainWindowLogic::SetRunningLook(bool running) {
    if (running) {
        scanStartNs_ = captionAtNs_ = view_.NowNs();
        view_.SetCaption(ProgressCaption(0, 0, 0));
        captionShowsProgress_ = true;
    } else {
        ShowProgress();
        ShowIdleCaption();
    }
    for (const LookStep& step : kLooks[running ? 1 : 0]) {
        switch (step.change) {
            case Change::Show: SetVisible(step.control, true); break;
            case Change::Hide: SetVisible(step.control, false); break;
            case Change::Enable: view_.SetEnabled(step.control, true); break;
            case Change::Disable: view_.SetEnabled(step.control, false); break;
            case Change::Grow: view_.SetClientHeight(kClientHeight); break;
            case Change::Shrink: view_.SetClientHeight(kClientHeight - kProgressHeight); break;
        }
    }
    view_.SetFocus(running ? Control::AbortButton : Control::StartButton);
}

}  // namespace snapsift
