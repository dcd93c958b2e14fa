// What the main window must show for what the examiner does, the same whatever toolkit draws it:
// one table, run against the window logic with a recording view and against the Qt and the Win32
// windows. A scan in the table lists a folder that stalls, as a hung network open does, until the
// test lets it go on; the window answers meanwhile.
#pragma once

#include <atomic>
#include <stdexcept>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "scan/ScanRun.h"
#include "text/PathText.h"
#include "volume/Volume.h"
#include "window/MainWindowLogic.h"

namespace snapsift::test {

// A volume of one folder, "R/", whose listing stalls at its start until Release() or 5 s, then
// gives the files f0.txt to f9.txt (no photos) and fails (error 5); with `breaks`, opening the
// root throws, as a failure on the run's way.
class StalledVolume final : public Volume {
public:
    std::atomic<bool> stalled = false;  // the listing waits now
    bool breaks = false;

    void Release() {
        const std::lock_guard lock(mutex_);
        released_ = true;
        wake_.notify_all();
    }
    char Separator() const override { return '/'; }
    std::string DriveRoot() const override { return {}; }
    bool FolderExists(const std::string& path) const override { return path == "R/"; }
    bool IsPlainEntry(const std::string&) const override { return false; }
    std::unique_ptr<VolumeFolder> OpenRoot(const std::string&, SystemError&) override {
        if (breaks) throw std::runtime_error("the volume broke");
        return std::make_unique<Listing>(*this);
    }
    std::unique_ptr<VolumeFolder> OpenBelow(const VolumeFolder&, const std::string&, const FileIdentity&,
                                            SystemError& error) override {
        return error = SystemError{2}, nullptr;
    }
    std::optional<FileIdentity> IdentityOfLocalFolder(const std::string&) const override { return std::nullopt; }

private:
    struct Listing final : VolumeFolder {
        explicit Listing(StalledVolume& volume) : volume(volume) {}
        ListingStep Next(std::string_view& entry, EntryKind& kind, FileIdentity*) override {
            if (at == 0) volume.Stall();
            if (at == 10) return ListingStep::Failed;
            name.assign(1, 'f').append(std::to_string(at++)).append(".txt");  // gcc 12 warns wrongly of "f" + ...
            entry = name, kind = EntryKind::File;
            return ListingStep::Entry;
        }
        SystemError Error() const override { return SystemError{5}; }
        bool AccessTimeKept() const override { return true; }
        std::unique_ptr<VolumeFile> OpenFile(std::string_view, const std::string&, SystemError& error) const override {
            return error = SystemError{2}, nullptr;
        }
        StalledVolume& volume;
        int at = 0;
        std::string name;
    };

    void Stall() {
        std::unique_lock lock(mutex_);
        stalled = true;
        wake_.wait_for(lock, std::chrono::seconds(5), [this] { return released_; });
        stalled = false;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool released_ = false;
};

// A window as the table drives it: the examiner's acts, and what it shows.
class ContractWindow {
public:
    virtual ~ContractWindow() = default;
    virtual MainWindowLogic& Logic() = 0;
    virtual ScanState& State() = 0;
    // As a mouse click does: the control takes the focus and its handler runs; nothing on a
    // control hidden or disabled.
    virtual void Click(Control control) = 0;
    virtual void Choose(MenuCommand command) = 0;
    virtual void CloseBox() = 0;
    // Keys to the active window's focus: "Enter", "Esc", or "Alt+F X" (Alt and a menu's key, then
    // an item's key).
    virtual void Press(std::string_view keys) = 0;
    // The answer to the Yes/No boxes to come.
    virtual void Answer(bool yes) = 0;
    // Each box and chooser shown since the last call, as BoxText gives it.
    virtual std::vector<std::string> Boxes() = 0;
    virtual bool Shown(Control control) = 0;
    virtual bool Enabled(Control control) = 0;
    virtual std::string Text(Control control) = 0;
    virtual std::string Caption() = 0;
    virtual std::string Focused() = 0;  // the control's name, or "none"
    virtual bool MenuEnabled(MenuCommand command) = 0;
    virtual bool AboutShown() = 0;
    virtual std::string Opened() = 0;  // the last page the window opened, as a path
    virtual bool Closed() = 0;
    virtual int ClientTwips() = 0;  // the client area's height
    // Runs the window's event loop until done() or 10 s; false on the timeout.
    virtual bool RunUntil(const std::function<bool()>& done) = 0;
};

// A box as the table names it: its text's first 40 characters, each run of line breaks and spaces
// as one space, then "?" for Yes and No, "?[No]" when Enter presses No; a chooser as "browse"
// with its title.
inline std::string BoxText(const std::string& text, bool question, bool noPreselected) {
    return std::regex_replace(text, std::regex("[\r\n ]+"), " ").substr(0, 40) + (question ? noPreselected ? "?[No]" : "?" : "");
}

// The window's look: the controls hidden, those greyed out, the client height in twips, the
// caption (a running scan's elapsed time as "m:ss", which a slow machine may not keep at 0:00),
// the focus, the path on show, "report" once Open Last Report is offered (and "summary differs"
// while Open Last Summary is not offered with it) and "about" while the About box shows.
inline std::string Look(ContractWindow& w) {
    if (w.Closed()) return w.AboutShown() ? "closed | about" : "closed";
    std::string hidden, off;
    for (int i = 0; i < kControlCount; ++i) {
        if (!w.Shown(Control(i))) hidden += " " + std::string(ControlName(Control(i)));
        if (!w.Enabled(Control(i))) off += " " + std::string(ControlName(Control(i)));
    }
    std::string caption = w.Caption();
    if (caption.starts_with("Snapsift - ")) caption = caption.substr(0, caption.rfind(", ")) + ", m:ss";
    return "hidden" + hidden + " | off" + off + " | " + std::to_string(w.ClientTwips()) + " | " + caption +
           (w.AboutShown() ? "" : " | focus " + w.Focused()) + " | path " + w.Text(Control::ShownPath) +
           (w.MenuEnabled(MenuCommand::OpenLastReport) ? " | report" : "") +
           (w.MenuEnabled(MenuCommand::OpenLastReport) != w.MenuEnabled(MenuCommand::OpenLastSummary) ? " | summary differs" : "") +
           (w.AboutShown() ? " | about" : "");
}

struct ContractRow {
    const char* why;
    bool scan;  // during a scan of R/ (folder mode) whose listing stalls
    bool yes;   // the answer to Yes/No boxes
    std::function<void(ContractWindow&)> act;
    // The boxes, then the look; for a scan, those while the listing stalls, then "=>", those
    // once it has gone on and the run has ended.
    std::string shown;
};

inline const std::vector<ContractRow>& ContractRows() {
    using W = ContractWindow;
    using C = Control;
    const auto click = [](std::initializer_list<Control> cs) { return [v = std::vector(cs)](W& w) { for (const C c : v) w.Click(c); }; };
    const auto forecast = [](AccessTimeForecast f) {
        return [f](W& w) {
            w.Logic().SetAccessTimeForecaster([f](const std::string&) { return f; });
            w.State().outputFolder = "/nonexistent/";
            w.Click(C::StartButton);
        };
    };
    // No view here lists a disk image: "Also search unallocated space" stays hidden, and is greyed with
    // the other settings during a scan.
    const std::string drives = "hidden SourceFolderBox AbortButton ProgressFrame ShownPath ScanningLabel SearchSubfolders "
                               "SourceBrowseButton SearchUnallocated | off | 4770 | Snapsift";
    const std::string folder = "hidden DriveList AbortButton ProgressFrame ShownPath ScanningLabel SearchUnallocated | off | 4770 | Snapsift";
    const std::string run = "hidden DriveList StartButton SearchUnallocated | off HelpButton ProfileFoldersOnly DriveList IncludePhotos "
                            "OutputBrowseButton SearchSubfolders SourceBrowseButton SearchUnallocated | 6270 | Snapsift - 0 files, 0 found, m:ss";
    const std::string idle = drives + " | focus StartButton | path ", ended = folder + " | focus StartButton | path ";
    const std::string running = run + " | focus AbortButton | path ";
    const std::string complete = "Operation complete. Total files found: 0";
    const std::string help = "If \"Only Search User Profile Folders On ; ";
    const std::string abort = "Are you sure you want to cancel this ope?";
    static const std::vector<ContractRow> rows = {
        {"help", false, false, click({C::HelpButton}), help + drives + " | focus HelpButton | path "},
        {"START, no output folder", false, false, click({C::StartButton}), "Please choose an output folder.; " + idle},
        {"START, access times would change, No", false, false, forecast(AccessTimeForecast::OthersFilesChange),
         "Searching will change the last-access ti?[No]; " + idle},
        {"START, access times would change, Yes", false, true, forecast(AccessTimeForecast::OthersFilesChange),
         "Searching will change the last-access ti?[No]; Error creating output folder.; " + idle},
        {"folder mode", false, false, click({C::ProfileFoldersOnly}), folder + " | focus ProfileFoldersOnly | path "},
        {"folder mode, then profile mode", false, false, click({C::ProfileFoldersOnly, C::ProfileFoldersOnly}),
         drives + " | focus ProfileFoldersOnly | path "},
        {"File > Exit", false, false, [](W& w) { w.Choose(MenuCommand::Exit); }, "closed"},
        {"Help > About..., then File > Exit", false, false,
         [](W& w) { w.Choose(MenuCommand::About), w.Choose(MenuCommand::Exit); }, "closed | about"},
        {"each Browse, in folder mode", false, false, click({C::ProfileFoldersOnly, C::SourceBrowseButton, C::OutputBrowseButton}),
         "browse Choose the folder to search:; browse Choose where the run folder goes:; " + folder + " | focus OutputBrowseButton | path "},
        {"the close box", false, false, [](W& w) { w.CloseBox(); }, "closed"},
        {"Enter on the focused button", false, false, [](W& w) { w.Click(C::HelpButton), w.Press("Enter"); },
         help + help + drives + " | focus HelpButton | path "},
        {"Esc", false, false, [](W& w) { w.Press("Esc"); }, idle},
        {"Alt+F, X", false, false, [](W& w) { w.Press("Alt+F X"); }, "closed"},
        {"Alt+H, A", false, false, [](W& w) { w.Press("Alt+H A"); }, drives + " | path  | about"},
        {"Esc in the About box", false, false, [](W& w) { w.Choose(MenuCommand::About), w.Press("Esc"); }, idle},
        {"Enter in the About box", false, false, [](W& w) { w.Choose(MenuCommand::About), w.Press("Enter"); }, idle},
        {"Help > About...", false, false, [](W& w) { w.Choose(MenuCommand::About); }, drives + " | path  | about"},
        {"a scan", true, false, [](W&) {}, running + " => " + complete + "; " + ended + "R/f9.txt | report | opens it"},
        {"ABORT, Yes", true, true, click({C::AbortButton}),
         abort + "; " + running + " => Operation aborted. Total files found: 0 ; " + ended + " | report | opens it"},
        {"ABORT, No", true, false, click({C::AbortButton}),
         abort + "; " + running + " => " + complete + "; " + ended + "R/f9.txt | report | opens it"},
        {"START, Help, Browse and the mode during a scan, and their handlers called whatever a view lets through", true, false,
         [click](W& w) {
             click({C::StartButton, C::HelpButton, C::SourceBrowseButton, C::OutputBrowseButton, C::ProfileFoldersOnly})(w);
             for (void (MainWindowLogic::*handler)() : {&MainWindowLogic::OnStartClicked, &MainWindowLogic::OnSourceBrowseClicked,
                                                        &MainWindowLogic::OnOutputBrowseClicked, &MainWindowLogic::OnAddImageChosen})
                 (w.Logic().*handler)();
         }, running + " => " + complete + "; " + ended + "R/f9.txt | report | opens it"},
        {"Help > About... during a scan", true, false, [](W& w) { w.Choose(MenuCommand::About); },
         run + " | path  | about => " + complete + "; " + folder + " | path R/f9.txt | report | about | opens it"},
        {"File > Exit during a scan: it ends, no file examined, then the window closes", true, false,
         [](W& w) { w.Choose(MenuCommand::Exit); }, running + " => closed"},
        {"the close box during a scan", true, false, [](W& w) { w.CloseBox(); }, running + " => closed"}};
    return rows;
}

// Runs a row on a new window in its first look (profile mode; source and output folders unset):
// what it shows, as the row's `shown` has it. A scan row's output folder is `output`; once the run
// has ended, File > Open Last Report "opens it", the report in its run folder there, and File >
// Open Last Summary the summary beside it.
inline std::string RunContractRow(ContractWindow& w, const ContractRow& row, const std::string& output) {
    const auto shown = [&w] {
        std::string boxes;
        for (const std::string& box : w.Boxes()) boxes += box + "; ";
        return boxes + Look(w);
    };
    w.Answer(row.yes);
    if (!row.scan) return row.act(w), w.RunUntil([&w] { return !w.Logic().Running(); }), shown();
    StalledVolume volume;
    ScanEnvironment environment;
    environment.liveVolume = &volume;
    w.Logic().SetScanEnvironment(environment);
    w.Logic().SetAccessTimeForecaster([](const std::string&) { return AccessTimeForecast::Kept; });
    w.Click(Control::ProfileFoldersOnly);
    w.State() = {"R/", output};
    w.Click(Control::StartButton);
    if (!w.RunUntil([&] { return volume.stalled && w.Shown(Control::AbortButton); }))  // the run must not outlive the volume
        return volume.Release(), w.RunUntil([&] { return !w.Logic().Running(); }), "the scan did not stall";
    w.Boxes();
    row.act(w);
    // The window's own turns go on meanwhile: some ticks' worth.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(4 * kScanTickMs);
    w.RunUntil([&] { return std::chrono::steady_clock::now() >= until; });
    std::string seen = (volume.stalled ? "" : "not stalled: ") + shown();
    volume.Release();
    if (!w.RunUntil([&] { return w.Closed() || !w.Logic().Running(); })) return seen + " => the scan did not end";
    seen += " => " + shown();
    if (w.Closed()) return seen;
    w.Choose(MenuCommand::OpenLastReport);  // the run's report
    const std::string report = w.Opened();
    w.Choose(MenuCommand::OpenLastSummary);  // a window's log of pages may hold the report's before it
    const std::string summary = w.Opened(), folder = report.substr(0, report.size() - std::string("Quorvia JPG Files.htm").size());
    const bool summaryOpened = summary.ends_with(folder + "Quorvia user IDs.htm") &&
                               std::filesystem::is_regular_file(PathFromText(folder + "Quorvia user IDs.htm"));
    return seen + (report.starts_with(output) && report.ends_with("Quorvia JPG Files.htm") && summaryOpened &&
                           std::filesystem::is_regular_file(PathFromText(report)) ? " | opens it" : " | opens " + report + ", " + summary);
}

}  // namespace snapsift::test
