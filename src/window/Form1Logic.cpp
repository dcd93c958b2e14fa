#include "window/Form1Logic.h"

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

// One step of a look: a control shown, hidden, enabled or disabled, or the client area grown
// to its designed height to uncover Frame1, or shrunk to cut it off.
enum class Change { Show, Hide, Enable, Disable, Grow, Shrink };
struct LookStep {
    Change change;
    Control control;
};

// The two looks, step by step in their order: [0] idle, [1] running.
constexpr LookStep kLooks[2][10] = {
    {{Change::Enable, Control::chkPro},
     {Change::Enable, Control::chkIncl},
     {Change::Enable, Control::chkSubs},
     {Change::Enable, Control::cmdOut},
     {Change::Enable, Control::cmdSource},
     {Change::Show, Control::cmdSTART},
     {Change::Hide, Control::cmdABORT},
     {Change::Hide, Control::Frame1},
     {Change::Enable, Control::Command1},
     {Change::Shrink, Control::Frame1}},
    {{Change::Disable, Control::chkPro},
     {Change::Show, Control::Frame1},
     {Change::Disable, Control::cmdOut},
     {Change::Disable, Control::cmdSource},
     {Change::Hide, Control::cmdSTART},
     {Change::Show, Control::cmdABORT},
     {Change::Disable, Control::chkSubs},
     {Change::Disable, Control::chkIncl},
     {Change::Disable, Control::Command1},
     {Change::Grow, Control::Frame1}},
};

}  // namespace

std::string TitleText() { return std::string(kAppTitle) + " v" + std::string(kAppVersion); }

Form1Logic::Form1Logic(FormView& view, ScanState& state) : view_(view), state_(state) {}

void Form1Logic::SetScanEnvironment(ScanEnvironment environment) {
    environment_ = std::move(environment);
}

void Form1Logic::Form_Load() {
    view_.SetText(Control::Label1, TitleText());
    view_.SetClientHeight(kClientHeight - kProgressHeight);
    if (DiskImagesReadable()) ShowImageEntries(-1);
}

void Form1Logic::chkPro_Click() {
    if (view_.IsChecked(Control::chkPro)) {
        SetVisible(Control::cmdSource, false);
        SetVisible(Control::Drive1, true);
        SetVisible(Control::txtSource, false);
        SetVisible(Control::chkSubs, false);
    } else {
        SetVisible(Control::Drive1, false);
        SetVisible(Control::txtSource, true);
        SetVisible(Control::chkSubs, true);
        SetVisible(Control::cmdSource, true);
    }
}

// The chooser opens at the folder chosen last; a cancel keeps that choice.
void Form1Logic::ChooseFolder(std::string& folder, Control box) {
    const std::string saved = folder;
    folder = view_.BrowseFolder(kChooseFolderTitle, saved);
    if (!folder.empty()) {
        view_.SetText(box, folder);
        return;
    }
    folder = saved;
    if (!saved.empty()) view_.SetText(box, saved);
}

void Form1Logic::cmdSource_Click() { ChooseFolder(state_.SourceFolder, Control::txtSource); }

void Form1Logic::cmdOut_Click() { ChooseFolder(state_.OutputFolder, Control::txtOut); }

void Form1Logic::Command1_Click() { ShowMessage(kHelpText, MessageKind::Information); }

// Each partition of the image that a profile search can read becomes an entry, the first of
// them selected; an image already listed is selected again rather than listed twice.
void Form1Logic::Drive1_AddImage() {
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

void Form1Logic::ShowImageEntries(int select) {
    std::vector<std::string> texts;
    for (const std::unique_ptr<ImageEntry>& entry : images_) texts.push_back(entry->text);
    view_.SetImageEntries(texts, kAddImageEntry, select);
}

void Form1Logic::cmdSTART_Click() { RunScan(state_, *this, environment_); }

void Form1Logic::cmdABORT_Click() {
    if (AskYesNo(kAbortQuestion)) state_.AbortRequested = true;
}

bool Form1Logic::Form_QueryUnload() const { return abortShown_; }

void Form1Logic::mnuExit_Click() { view_.Close(); }

void Form1Logic::mnuAbout_Click() { view_.ShowAbout(); }

bool Form1Logic::ProfileMode() const { return view_.IsChecked(Control::chkPro); }

bool Form1Logic::SearchSubfolders() const { return view_.IsChecked(Control::chkSubs); }

bool Form1Logic::IncludePhotos() const { return view_.IsChecked(Control::chkIncl); }

std::string Form1Logic::SelectedDriveRoot() const { return view_.SelectedDrivePrefix(); }

const ImageSource* Form1Logic::Image() const {
    if (!ProfileMode()) return nullptr;
    const int selected = view_.SelectedImageEntry();
    if (selected < 0 || selected >= static_cast<int>(images_.size())) return nullptr;
    return &images_[static_cast<std::size_t>(selected)]->source;
}

void Form1Logic::ShowPath(const std::string& fullPath) {
    shownPath_.assign(fullPath);
    shownPathPending_ = true;
}

// One clock reading per file paces both the path on show and the view's event-loop turn.
void Form1Logic::Yield() {
    const std::int64_t now = view_.NowNs();
    if (shownPathPending_ && now - shownPathAtNs_ >= kShownPathIntervalNs) {
        BringShownPathUpToDate();
        shownPathAtNs_ = now;
    }
    view_.Turn(now);
}

void Form1Logic::BringShownPathUpToDate() {
    if (!shownPathPending_) return;
    view_.SetText(Control::lblFile, shownPath_);
    shownPathPending_ = false;
}

void Form1Logic::ShowMessage(std::string_view text, MessageKind) {
    BringShownPathUpToDate();
    view_.ShowMessage(text);
}

bool Form1Logic::AskYesNo(std::string_view text) {
    BringShownPathUpToDate();
    return view_.AskYesNo(text);
}

void Form1Logic::SetVisible(Control control, bool visible) {
    if (control == Control::cmdABORT) abortShown_ = visible;
    view_.SetVisible(control, visible);
}

void Form1Logic::SetRunningLook(bool running) {
    if (!running) BringShownPathUpToDate();
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
}

}  // namespace snapsift
