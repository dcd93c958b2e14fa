#include "platform/SystemError.h"

#include <cstring>

namespace snapsift {

std::string SystemErrorText(long code) {
    if (code == kReplacedDuringScan) return "Replaced by another entry while the scan ran";
    if (code == kFolderLoop) return "A folder already searched (a loop); not searched again";
    char buffer[256];
    // The GNU strerror_r: the text may or may not be put into buffer.
    const char* text = ::strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    if (text == nullptr || *text == '\0') return std::string("Error ").append(std::to_string(code));
    return text;
}

}  // namespace snapsift
