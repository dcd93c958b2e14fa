// Test helpers for the folder walk: one walk over a temporary tree with a recording host,
// recording every candidate with the user ID recognition takes out of it.
#pragma once

#include <algorithm>
#include <stdexcept>

#include "search/FolderWalk.h"
#include "search/Recognition.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

namespace snapsift::test {

struct Candidate {
    std::string fullPath, userId;  // userId empty when not recognised
    std::int16_t nameStyle;
    std::size_t shownBefore;       // paths the host had shown when the candidate arrived
    friend bool operator==(const Candidate&, const Candidate&) = default;
};

struct WalkRun : CandidateHandler {
    ScanState state;
    RecordingHost host{state};
    FolderWalk walk{state, host, *this};
    std::vector<Candidate> candidates;
    std::string throwOn;  // a file name whose processing fails once recorded

    void ProcessCandidate(const std::string& fullPath, const std::string& fileName, std::int16_t style) override {
        const auto id = RecognizeUserId(fileName, style);
        candidates.push_back({fullPath, std::string(id.value_or("")), style, host.shownPaths.size()});
        if (fileName == throwOn) throw std::runtime_error("failure inside one file");
    }
    std::vector<std::string> Recognised() const {
        std::vector<std::string> ids;
        for (const Candidate& c : candidates) if (!c.userId.empty()) ids.push_back(c.userId);
        std::ranges::sort(ids);
        return ids;
    }
};

inline const std::string kSep(1, kSeparator);
using Paths = std::vector<std::string>;

}  // namespace snapsift::test
