#include "platform/CodePage.h"

namespace snapsift {

unsigned ReportCodePageNumber() { return 1252; }

const std::array<char32_t, 128>& detail::ReportCodePageUpperHalf() { return Windows1252UpperHalf(); }

}  // namespace snapsift
