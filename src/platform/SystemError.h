// A failure as the operating system reported it: its code (errno, or GetLastError() on
// Windows) and the system's own words for it.
#pragma once

#include <string>

namespace snapsift {

struct SystemError {
    long code = 0;
    friend bool operator==(const SystemError&, const SystemError&) = default;
};

// The program's own code for a folder or file that was listed and then replaced by another
// before the scan opened it. No system uses negative codes.
inline constexpr long kReplacedDuringScan = -1001;
// The program's own code for a folder that the walk meets a second time (an index entry or a
// mount that leads back to a folder already entered): a loop, not entered again.
inline constexpr long kFolderLoop = -1003;

// The system's description of an error code ("Permission denied"), without a final period or
// line break; "Error N" when the system has none.
std::string SystemErrorText(long code);

}  // namespace snapsift
