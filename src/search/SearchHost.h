// What the walk and the evidence entry need from whatever hosts a scan: the photos setting,
// the path on show, one event-loop turn per file, messages, and a word about each folder that
// could not be read, each file that changed under the read, each file that could not be examined,
// and evidence whose access time the system would not keep.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/SystemError.h"

namespace snapsift {

// What a message is about, so that a host without message boxes can route it
// (a terminal sends per-file problems to stderr and the final total to stdout).
enum class MessageKind {
    Stop,         // an explicit check stopped the run before searching
    FileProblem,  // a per-file problem; the scan goes on once acknowledged
    Final,        // "Operation complete." / "Operation aborted." with the total
    Information,  // anything else (help text)
};

class SearchHost {
public:
    virtual ~SearchHost() = default;

    // Include photos: copies and image lines; read once per recognised file.
    virtual bool IncludePhotos() const = 0;
    // Report the photos of cache entries the browser had let go of (doomed, evicted, being
    // deleted) as well, marked as deleted.
    virtual bool IncludeDeletedCacheEntries() const { return false; }

    // Progress: the path on show, the one being examined, and one turn of the host's event loop.
    virtual void ShowPath(const std::string& fullPath) = 0;
    virtual void Yield() = 0;
    // A recognised file has been counted: filesFound is the run's count so far.
    virtual void FileFound(std::int32_t filesFound) { (void)filesFound; }
    // The search of a disk's unallocated space `area` for carved files: bytesRead of bytesTotal so
    // far; told as it begins, now and then, and as it ends.
    virtual void CarvingProgress(const std::string& area, std::uint64_t bytesRead, std::uint64_t bytesTotal) {
        (void)area;
        (void)bytesRead;
        (void)bytesTotal;
    }

    // A modal message with OK only.
    virtual void ShowMessage(std::string_view text, MessageKind kind) = 0;

    // A folder below or at a root that could not be opened or listed to its end; the walk has
    // skipped what it could not read and goes on.
    virtual void FolderUnreadable(const std::string& folderPath, const SystemError& error) = 0;

    // The system will let this file or folder be read only in a way that moves its last-access
    // time; said before the first read of it. A host that tells the examiner tells once.
    virtual void AccessTimeNotKept(const std::string& path) { (void)path; }
    // The file's size or modification time changed while it was read: its entry carries the
    // digest failure text, not a digest of a mixture.
    virtual void FileChangedWhileRead(const std::string& fullPath) { (void)fullPath; }
    // A file that passed the name filter could not be examined: its processing failed part way
    // (why says how) and it may have no entry. The walk goes on.
    virtual void CandidateLost(const std::string& fullPath, std::string_view why) {
        (void)fullPath;
        (void)why;
    }
    // Part of a browser's cache could not be read: a photo's entry lacks what `problem` says, or
    // an entry's URL could not be read, so whether it held a photo is unknown. `where` is the
    // file of the cache concerned. The walk goes on.
    virtual void CacheProblem(const std::string& where, std::string_view problem) {
        (void)where;
        (void)problem;
    }
};

}  // namespace snapsift
