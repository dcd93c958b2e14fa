#include "cli/CliHost.h"

#include "cli/Console.h"
#include "cli/ConsoleText.h"
#include "text/Utf8.h"

namespace snapsift::cli {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(200);
// A window of unallocated space is searched in one go: its line is drawn less often.
constexpr auto kCarvingProgressInterval = std::chrono::seconds(1);

}  // namespace

void CliHost::ShowPath(const std::string& fullPath) {
    ++examined_;
    if (showProgress_) path_ = fullPath;
}

void CliHost::Yield() {
    if (InterruptRequested()) state_.abortRequested = true;
    if (!showProgress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < (carving_ ? kCarvingProgressInterval : kProgressInterval)) return;
    lastDraw_ = now;
    DrawProgress();
}

void CliHost::CarvingProgress(const std::string& area, std::uint64_t bytesRead, std::uint64_t bytesTotal) {
    carving_ = true;
    carvedBytes_ = bytesRead;
    carvingTotal_ = bytesTotal;
    if (showProgress_) path_ = area;
}

void CliHost::DrawProgress() {
    const std::size_t width = static_cast<std::size_t>(TerminalWidth(Stream::Err));
    std::string line = carving_ ? CarvingProgressLine(found_, carvedBytes_, carvingTotal_, path_, width)
                                : ProgressLine(found_, examined_, path_, width, PathSeparator());
    const std::size_t columns = CharacterCount(line);
    if (columns < drawnColumns_) line.append(drawnColumns_ - columns, ' ');
    drawnColumns_ = columns;
    line.insert(line.begin(), '\r');
    Write(Stream::Err, line);
}

void CliHost::ClearProgress() {
    if (drawnColumns_ == 0) return;
    std::string blank(drawnColumns_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    Write(Stream::Err, blank);
    drawnColumns_ = 0;
}

void CliHost::ShowMessage(std::string_view text, MessageKind kind) {
    ClearProgress();
    const bool toOut = kind == MessageKind::Final || kind == MessageKind::Information;
    Write(toOut ? Stream::Out : Stream::Err, TerminalText(text, kind != MessageKind::FileProblem, PathSeparator()));
}

void CliHost::FolderUnreadable(const std::string& folderPath, const SystemError& error) {
    ClearProgress();
    Write(Stream::Err, TerminalText("Cannot read folder: " + folderPath + ": " + SystemErrorText(error.code), false, PathSeparator()));
}

void CliHost::AccessTimeNotKept(const std::string& path) {
    if (accessTimeNoticeGiven_) return;
    accessTimeNoticeGiven_ = true;
    ClearProgress();
    Write(Stream::Err,
          TerminalText("Warning: access times will change. This user may read " + path +
                       " (and files like it) only in a way that updates its last-access time. To keep "
                       "access times, mount the evidence read-only or run as root.",
                       false, PathSeparator()));
}

void CliHost::FileChangedWhileRead(const std::string& fullPath) {
    ClearProgress();
    Write(Stream::Err, TerminalText("File changed while it was read, no MD5 reported: " + fullPath, false, PathSeparator()));
}

void CliHost::CandidateLost(const std::string& fullPath, std::string_view why) {
    ClearProgress();
    Write(Stream::Err, TerminalText("File could not be examined: " + fullPath + ": " + std::string(why), false,
                                    PathSeparator()));
}

void CliHost::CacheProblem(const std::string& where, std::string_view problem) {
    ClearProgress();
    Write(Stream::Err, TerminalText("Cache: " + where + ": " + std::string(problem), false, PathSeparator()));
}

// There is no one to ask: an interrupt is its own confirmation.
bool CliHost::AskYesNo(std::string_view) { return true; }

void CliHost::SetRunningLook(bool running) {
    if (!running) ClearProgress();
}

}  // namespace snapsift::cli
