// The one pass over an open evidence file's bytes that gives its digest and, at the same time,
// its copy.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/SystemError.h"
#include "volume/Volume.h"

namespace snapsift {

// Why an open file gave no digest.
enum class DigestFailure {
    None,
    ReadFailed,        // a read failed (or the pass stopped on an exception: no code then)
    TooLarge,          // 2^28 bytes or more; its copy is still made whole
    ChangedWhileRead,  // its size or modification time changed while it was read
    Aborted,           // the run was aborted while it was read
};

struct EvidenceDigest {
    std::optional<std::string> md5;  // 32 upper-case hexadecimal digits; none on a failure
    // The SHA-256 digest, 64 lower-case hexadecimal digits: there with the MD5, and for a file too
    // large for the MD5 read whole and unchanged; empty otherwise.
    std::optional<std::string> sha256;
    DigestFailure failure = DigestFailure::None;
    SystemError readError;           // the failed read's, with ReadFailed
    std::string why;                 // with ReadFailed and no read error: what failed instead
};

// How many bytes the pass reads between two asks whether to stop.
inline constexpr std::int64_t kStopAskBytes = 4 << 20;

// The MD5 and SHA-256 digests of an open file, read once from its start up to its size at the open; every
// piece read is handed to alsoTo as well (a copy being made). After every kStopAskBytes read,
// stopRequested (when given) is asked, and true ends the pass with Aborted. Never throws.
EvidenceDigest DigestEvidence(VolumeFile& file, const std::function<void(std::string_view)>& alsoTo = {},
                              const std::function<bool()>& stopRequested = {});

}  // namespace snapsift
