#include "window/MainWindowLogic.h"

#include <algorithm>
#include <utility>

#include "scan/Version.h"

namespace snapsift {

namespace {

constexpr char kChooseFolderTitle[] = "Choose a folder:";
constexpr char kChooseImageTitle[] = "Choose a disk image:";
constexpr char kImagePatterns[] = "*.dd *.raw *.img *.001 *.E01 *.e01";
constexpr char kAddImageEntry[] = "Add disk image...";
constexpr char kImageNotAdded[] = "The disk image could not be added.\r\n\r\n";
constexpr char kAbortQuestion[] = "Are you sure you want to cancel this operation?";
constexpr char kHelpText[] =
    "If \"Only Search User Profile Folders On Selected Drive\" is checked, only the user profile "
    "folders ('Documents and Settings' in XP, or 'Users' in Vista/7) will be searched. "
    "This greatly reduces the search time and is usually all that is needed since Quorvia JPG "
    "files are generally only found in the Temporary Internet Files."
    "\r\n\r\n"
    "If \"Only Search User Profile Folders On Selected Drive\" is NOT checked, you will have "
    "the option of selecting a specific folder to search, with (optionally) all sub-folders as "
    "well.";
constexpr char kHelpImagesText[] =
    "\r\n\r\nTo search a disk image (raw, split or E01) of an NTFS drive without mounting it, choose "
    "\"Add disk image...\" at the end of the drive list; it can then be chosen like a drive.";
constexpr char kHelpNoImagesText[] =
    "\r\n\r\nThis version cannot read disk images itself: mount the image read-only with a mounting "
    "tool, then choose its drive letter.";
constexpr char kHelpReportText[] =
    "\r\n\r\nEach search makes a new folder in the output folder, named \"Snapsift - \" and the date "
    "and time. It holds the report, 'Quorvia JPG Files.htm', and the copies of the photos. The "
    "message at the end gives the report's full path, and File > Open Last Report opens it.";

// One step of a look: a control shown, hidden, enabled or disabled, or the client area grown
// to its designed height to uncover ProgressFrame, or shrunk to cut it off.
enum class Change { Show, Hide, Enable, Disable, Grow, Shrink };
struct LookStep {
    Change change;
    Control control;
};

// The two looks, step by step in their order: [0] idle, [1] running.
constexpr LookStep kLooks[2][10] = {
    {{Change::Enable, Control::ProfileFoldersOnly},
     {Change::Enable, Control::IncludePhotos},
     {Change::Enable, Control::SearchSubfolders},
     {Change::Enable, Control::OutputBrowseButton},
     {Change::Enable, Control::SourceBrowseButton},
     {Change::Show, Control::StartButton},
     {Change::Hide, Control::AbortButton},
     {Change::Hide, Control::ProgressFrame},
     {Change::Enable, Control::HelpButton},
     {Change::Shrink, Control::ProgressFrame}},
    {{Change::Disable, Control::ProfileFoldersOnly},
     {Change::Show, Control::ProgressFrame},
     {Change::Disable, Control::OutputBrowseButton},
     {Change::Disable, Control::SourceBrowseButton},
     {Change::Hide, Control::StartButton},
     {Change::Show, Control::AbortButton},
     {Change::Disable, Control::SearchSubfolders},
     {Change::Disable, Control::IncludePhotos},
     {Change::Disable, Control::HelpButton},
     {Change::Grow, Control::ProgressFrame}},
};

}  // namespace

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

void MainWindowLogic::SetScanEnvironment(ScanEnvironment environment) {
    environment_ = std::move(environment);
}

void MainWindowLogic::OnLoad() {
    view_.SetText(Control::TitleLabel, TitleText());
    view_.SetClientHeight(kClientHeight - kProgressHeight);
    view_.SetMenuEnabled(MenuCommand::OpenLastReport, false);
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
}

// The chooser opens at the folder chosen last; a cancel keeps that choice.
void MainWindowLogic::ChooseFolder(std::string& folder, Control box) {
    const std::string saved = folder;
    folder = view_.BrowseFolder(kChooseFolderTitle, saved);
    if (!folder.empty()) {
        view_.SetText(box, folder);
        return;
    }
    folder = saved;
    if (!saved.empty()) view_.SetText(box, saved);
}

void MainWindowLogic::OnSourceBrowseClicked() { ChooseFolder(state_.SourceFolder, Control::SourceFolderBox); }

void MainWindowLogic::OnOutputBrowseClicked() { ChooseFolder(state_.OutputFolder, Control::OutputFolderBox); }

void MainWindowLogic::OnHelpClicked() {
    ShowMessage(std::string(kHelpText) + (DiskImagesReadable() ? kHelpImagesText : kHelpNoImagesText) + kHelpReportText,
                MessageKind::Information);
}

// Each partition of the image that a profile search can read becomes an entry, the first of
// them selected; an image already listed is selected again rather than listed twice.
void MainWindowLogic::OnAddImageChosen() {
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
}

void MainWindowLogic::OnStartClicked() {
    const ScanResult result = RunScan(state_, *this, environment_);
    if (result.reportPath.empty()) return;
    lastReport_ = result.reportPath;
    view_.SetMenuEnabled(MenuCommand::OpenLastReport, true);
}

void MainWindowLogic::OnOpenLastReportChosen() {
    if (lastReport_.empty()) return;
    if (!view_.OpenInBrowser(lastReport_))
        ShowMessage("The report could not be opened:\r\n\r\n" + lastReport_, MessageKind::Information);
}

void MainWindowLogic::OnAbortClicked() {
    if (AskYesNo(kAbortQuestion)) state_.AbortRequested = true;
}

bool MainWindowLogic::CloseRefused() const { return abortShown_; }

void MainWindowLogic::OnExitChosen() { view_.Close(); }

void MainWindowLogic::OnAboutChosen() { view_.ShowAbout(); }

bool MainWindowLogic::ProfileMode() const { return view_.IsChecked(Control::ProfileFoldersOnly); }

bool MainWindowLogic::SearchSubfolders() const { return view_.IsChecked(Control::SearchSubfolders); }

bool MainWindowLogic::IncludePhotos() const { return view_.IsChecked(Control::IncludePhotos); }

std::string MainWindowLogic::SelectedDriveRoot() const { return view_.SelectedDrivePrefix(); }

const ImageSource* MainWindowLogic::Image() const {
    if (!ProfileMode()) return nullptr;
    const int selected = view_.SelectedImageEntry();
    if (selected < 0 || selected >= static_cast<int>(images_.size())) return nullptr;
    return &images_[static_cast<std::size_t>(selected)]->source;
}

void MainWindowLogic::ShowPath(const std::string& fullPath) {
    ++filesExamined_;
    shownPath_.assign(fullPath);
    shownPathPending_ = true;
}

// One clock reading per file or folder paces the path on show, the caption and the view's
// event-loop turn.
void MainWindowLogic::Yield() {
    const std::int64_t now = view_.NowNs();
    if (shownPathPending_ && now - shownPathAtNs_ >= kShownPathIntervalNs) {
        BringShownPathUpToDate();
        shownPathAtNs_ = now;
    }
    if (now - captionAtNs_ >= kProgressCaptionIntervalNs) {
        view_.SetCaption(ProgressCaption(filesExamined_, filesFound_, (now - scanStartNs_) / 1'000'000'000));
        captionAtNs_ = now;
    }
    view_.Turn(now);
}

void MainWindowLogic::BringShownPathUpToDate() {
    if (!shownPathPending_) return;
    view_.SetText(Control::ShownPath, shownPath_);
    shownPathPending_ = false;
}

void MainWindowLogic::ShowMessage(std::string_view text, MessageKind) {
    BringShownPathUpToDate();
    view_.ShowMessage(text);
}

bool MainWindowLogic::AskYesNo(std::string_view text) {
    BringShownPathUpToDate();
    return view_.AskYesNo(text);
}

void MainWindowLogic::SetVisible(Control control, bool visible) {
    if (control == Control::AbortButton) abortShown_ = visible;
    view_.SetVisible(control, visible);
}

void MainWindowLogic::SetRunningLook(bool running) {
    if (running) {
        scanStartNs_ = captionAtNs_ = view_.NowNs();
        filesExamined_ = 0;
        filesFound_ = 0;
        view_.SetCaption(ProgressCaption(0, 0, 0));
    } else {
        BringShownPathUpToDate();
        view_.SetCaption(MainWindowDesign().caption);
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
