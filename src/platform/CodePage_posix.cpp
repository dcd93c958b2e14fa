#include "platform/CodePage.h"

namespace snapsift {

unsigned ReportCodePageNumber() { return 1252; }

const CodePageUpperHalf& detail::ReportCodePageUpperHalf() { return Windows1252UpperHalf(); }

}  // namespace snapsift
