// Where the folder walk hands each file whose name passed the pre-filter.
#pragma once

#include <cstdint>
#include <string>

namespace snapsift {

class CandidateHandler {
public:
    virtual ~CandidateHandler() = default;
    virtual void ProcessCandidate(const std::string& fullPath, const std::string& fileName,
                                  std::int16_t nameStyle) = 0;
};

}  // namespace snapsift
