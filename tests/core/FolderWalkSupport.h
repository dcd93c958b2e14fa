// Test helpers for the folder walk: one walk over a temporary tree with a recording host,
// recording every candidate with the user ID recognition takes out of it.
#pragma once

#include <algorithm>
#include <cerrno>
#include <set>
#include <stdexcept>

#include "platform/Paths.h"
#include "search/FolderWalk.h"
#include "search/Recognition.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

namespace snapsift::test {

using Paths = std::vector<std::string>;
using Ids = std::multiset<std::string>;
inline const std::string kSep(1, kSeparator);
// The code of a folder that is not there: ENOENT, or ERROR_PATH_NOT_FOUND on Windows.
inline constexpr long kNoSuchFolder = kSeparator == '\\' ? 3 : ENOENT;

struct Candidate {
    std::string fullPath, userId;  // userId empty when not recognised
    std::int16_t nameStyle;
    std::size_t shownBefore;  // paths the host had shown when the candidate arrived
};

struct WalkRun : CandidateHandler {
    ScanState state;
    RecordingHost host{state};
    FolderWalk walk{state.AbortRequested, host, *this};
    std::vector<Candidate> candidates;
    Paths candidatePaths;
    Ids ids;              // every user ID recognised
    std::string throwOn;  // a file name whose processing fails once recorded

    void ProcessCandidate(const std::string& fullPath, const std::string& fileName, std::int16_t style) override {
        const std::string id(RecognizeUserId(fileName, style).value_or(""));
        candidates.push_back({fullPath, id, style, host.shownPaths.size()});
        candidatePaths.push_back(fullPath);
        if (!id.empty()) ids.insert(id);
        if (fileName == throwOn) throw std::runtime_error("failure inside one file");
    }
};

}  // namespace snapsift::test
