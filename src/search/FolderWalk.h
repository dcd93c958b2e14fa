// The folder walk: breadth-first over a root (or only the root's own files), one abort test
// and yield per folder and per regular file (with the path display), and the name pre-filter before ProcessCandidate.
// A folder that cannot be opened or listed, and a file whose processing fails, are handed to the
// host and counted, and the walk goes on. A folder is entered once: met again (a loop through an
// index entry or a mount), it is handed to the host as unreadable with kFolderLoop. The
// folders and files are those of one volume: the live file system unless another is given.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "volume/LiveVolume.h"
#include "search/CandidateHandler.h"
#include "search/SearchHost.h"

namespace snapsift {

// The helpers a walk may start: SNAPSIFT_READ_AHEAD in the environment when set (0 for none),
// else eight (most of them idle unless the disk is slower than the walk).
unsigned DefaultReadAheadHelpers();
// Whether they start with the walk (SNAPSIFT_READ_AHEAD_AT_ONCE=1), not only once its folder
// reads show a disk slower than the walk.
bool DefaultReadAheadAtOnce();

class FolderWalk {
public:
    // abortRequested is the program-wide abort flag, read before each file.
    FolderWalk(const std::atomic<bool>& abortRequested, SearchHost& host, CandidateHandler& handler,
               Volume& volume = LiveVolume())
        : abortRequested_(abortRequested), host_(host), handler_(handler), volume_(volume) {}

    // Walks rootPath and every folder below it, breadth-first, in listing order.
    void SearchFolderTree(const std::string& rootPath);
    // Examines only the files directly in rootPath.
    void SearchFolder(const std::string& rootPath);
    // A folder never to enter, wherever it lies: the run's own output folder.
    void SkipFolder(const FileIdentity& identity) { skip_ = identity; }
    // How many helper threads list folders and read files ahead of a tree walk on a volume that
    // allows it, at once or from the first sign of a slow disk; 0 walks alone. The walk's order
    // and all it does are the same either way.
    void ReadAhead(unsigned helpers, bool atOnce = DefaultReadAheadAtOnce()) {
        helpers_ = helpers;
        atOnce_ = atOnce;
    }
    // Files passing the name filter whose processing failed, in all searches of this walk.
    std::uint64_t CandidatesLost() const { return candidatesLost_; }

private:
    const std::atomic<bool>& abortRequested_;
    SearchHost& host_;
    CandidateHandler& handler_;
    Volume& volume_;
    std::optional<FileIdentity> skip_;
    unsigned helpers_ = DefaultReadAheadHelpers();
    bool atOnce_ = DefaultReadAheadAtOnce();
    std::uint64_t candidatesLost_ = 0;
};

}  // namespace snapsift
