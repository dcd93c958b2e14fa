// ProcessCandidate: recognition of a pre-filtered name, then the evidence entry for a
// recognised file: digest, times, count, copy, and the report entry.
#pragma once

#include <string>

#include "app/ScanHost.h"
#include "app/ScanState.h"
#include "search/CandidateHandler.h"

namespace snapsift {

class EvidenceEntry : public CandidateHandler {
public:
    EvidenceEntry(ScanState& state, ScanHost& host) : state_(state), host_(host) {}

    void ProcessCandidate(const std::string& fullPath, const std::string& fileName,
                          std::int16_t nameStyle) override;

    // The evidence of one recognised file, written into the report in state.OutputFolder.
    void RecordEvidence(const std::string& fullPath, const std::string& fileName,
                        const std::string& userId);

private:
    ScanState& state_;
    ScanHost& host_;
};

}  // namespace snapsift
