// The folder walk: breadth-first over a root (or only the root's own files), one abort test,
// path display and yield per regular file, and the name pre-filter before ProcessCandidate.
#pragma once

#include <string>

#include "app/ScanHost.h"
#include "app/ScanState.h"
#include "search/CandidateHandler.h"

namespace snapsift {

// The platform's folder separator: "\" on Windows, "/" elsewhere.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// The path with the platform separator appended unless it already ends in a separator
// ("/" counts as one on Windows too).
std::string AddBackslash(std::string path);

// True when a file or (with includeFolders) a folder exists at the path, hidden and system
// entries included; false on any failure.
bool PathExists(const std::string& path, bool includeFolders);

// True when the path itself is a symbolic link, a junction or a mount point (a reparse point
// that names another entry). The walk never enters such an entry below its root.
bool IsLinkOrJunction(const std::string& path);

class FolderWalk {
public:
    FolderWalk(ScanState& state, ScanHost& host, CandidateHandler& handler)
        : state_(state), host_(host), handler_(handler) {}

    // Walks rootPath and every folder below it, breadth-first, in listing order.
    void SearchFolderTree(const std::string& rootPath);
    // Examines only the files directly in rootPath.
    void SearchFolder(const std::string& rootPath);

private:
    ScanState& state_;
    ScanHost& host_;
    CandidateHandler& handler_;
};

}  // namespace snapsift
