// The seam between the scan core and whatever hosts a scan: the window, the terminal
// front-end or a test recorder. Settings, progress, the event-loop yield and messages.
#pragma once

#include <string>
#include <string_view>

namespace snapsift {

// What a message is about, so that a host without message boxes can route it
// (a terminal sends per-file problems to stderr and the final total to stdout).
enum class MessageKind {
    Stop,         // an explicit check stopped the run before searching
    FileProblem,  // a per-file problem; the scan goes on once acknowledged
    Final,        // "Operation complete." / "Operation aborted." with the total
    Information,  // anything else (help text)
};

class ScanHost {
public:
    virtual ~ScanHost() = default;

    // Settings, read at the moment they are needed.
    virtual bool ProfileMode() const = 0;        // chkPro checked
    virtual bool SearchSubfolders() const = 0;   // chkSubs checked
    virtual bool IncludePhotos() const = 0;      // chkIncl checked
    // The selected volume's prefix without a trailing separator: "c:" on Windows,
    // a mount point such as "/mnt/evidence" (or "" for "/") elsewhere.
    virtual std::string SelectedDriveRoot() const = 0;

    // Progress: the path being examined (lblFile), and one turn of the host's event loop.
    virtual void ShowPath(const std::string& fullPath) = 0;
    virtual void Yield() = 0;

    // Modal messages: OK only, and the Yes/No question (true for Yes).
    virtual void ShowMessage(std::string_view text, MessageKind kind) = 0;
    virtual bool AskYesNo(std::string_view text) = 0;

    // The two looks of a host: running (true) or idle (false).
    virtual void SetRunningLook(bool running) = 0;
};

}  // namespace snapsift
