// Test helpers for the folder walk: a candidate handler that applies recognition and records
// every call, and a fixture that runs a walk over a temporary tree with a recording host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "search/CandidateHandler.h"
#include "search/FolderWalk.h"
#include "search/Recognition.h"
#include "support/RecordingHost.h"
#include "support/TempTree.h"

namespace snapsift::test {

struct Candidate {
    std::string fullPath;
    std::string fileName;
    std::int16_t nameStyle;
    std::optional<std::string> userId;
    // How many paths the host had shown when the candidate arrived.
    std::size_t shownBefore;
    friend bool operator==(const Candidate&, const Candidate&) = default;
};

class RecordingHandler : public CandidateHandler {
public:
    explicit RecordingHandler(const RecordingHost& host) : host_(host) {}
    void ProcessCandidate(const std::string& fullPath, const std::string& fileName,
                          std::int16_t nameStyle) override {
        const auto userId = RecognizeUserId(fileName, nameStyle);
        candidates.push_back({fullPath, fileName, nameStyle,
                              userId ? std::optional<std::string>(*userId) : std::nullopt,
                              host_.shownPaths.size()});
    }
    std::vector<Candidate> candidates;

private:
    const RecordingHost& host_;
};

struct WalkRun {
    ScanState state;
    RecordingHost host{state};
    RecordingHandler handler{host};
    FolderWalk walk{state, host, handler};

    std::vector<std::string> Recognised() const {
        std::vector<std::string> ids;
        for (const Candidate& c : handler.candidates)
            if (c.userId) ids.push_back(*c.userId);
        return ids;
    }
};

inline std::string Sep() { return std::string(1, kSeparator); }

}  // namespace snapsift::test
