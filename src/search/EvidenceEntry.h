// ProcessCandidate: recognition of a pre-filtered name, then the evidence entry for a
// recognised file: digest, times, count, copy, and the report entry.
#pragma once

#include <cstdint>
#include <string>

#include "search/CandidateHandler.h"
#include "search/SearchHost.h"

namespace snapsift {

class EvidenceEntry : public CandidateHandler {
public:
    // outputFolder is the run's own folder (ending in the separator), where the report and
    // the copies go; filesFound is raised once per recognised file.
    EvidenceEntry(const std::string& outputFolder, std::int32_t& filesFound, SearchHost& host)
        : outputFolder_(outputFolder), filesFound_(filesFound), host_(host) {}

    void ProcessCandidate(const std::string& fullPath, const std::string& fileName,
                          std::int16_t nameStyle) override;

    // The evidence of one recognised file, written into the report in the output folder.
    void RecordEvidence(const std::string& fullPath, const std::string& fileName,
                        const std::string& userId);

private:
    const std::string& outputFolder_;
    std::int32_t& filesFound_;
    SearchHost& host_;
};

}  // namespace snapsift
