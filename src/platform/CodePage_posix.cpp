#include "platform/CodePage.h"

namespace snapsift {

const CodePageUpperHalf& detail::ReportCodePageUpperHalf() { return Windows1252UpperHalf(); }

}  // namespace snapsift
