// Where the folder walk hands each file whose name passed the pre-filter.
#pragma once

#include <string>

#include "volume/Volume.h"
#include "search/CacheFiles.h"
#include "search/Recognition.h"

namespace snapsift {

class CandidateHandler {
public:
    virtual ~CandidateHandler() = default;
    // folder: the open folder that listed the file, to open it in; fullPath: its whole path text.
    virtual void ProcessCandidate(const VolumeFolder& folder, const std::string& fullPath,
                                  const std::string& fileName, NameStyle nameStyle) = 0;
    // A file whose name says it may belong to a browser's cache; what it holds decides.
    virtual void ProcessCacheFile(const VolumeFolder& folder, const std::string& fullPath,
                                  const std::string& fileName, CacheFileKind kind) {
        (void)folder;
        (void)fullPath;
        (void)fileName;
        (void)kind;
    }
    // The root of the walk under way and its path (ending in the separator), open until the walk
    // ends; nothing between walks. A folder the walk entered can be opened again below it
    // (Volume::OpenBelowForFiles) while the walk runs.
    virtual void WalkRoot(Volume* volume, const VolumeFolder* root, const std::string& rootPath) {
        (void)volume;
        (void)root;
        (void)rootPath;
    }
};

}  // namespace snapsift
