#include "platform/CodePage.h"

namespace snapsift {

const SingleByteCodePage& ReportCodePage() {
    static const SingleByteCodePage page(detail::ReportCodePageUpperHalf());
    return page;
}

std::optional<std::string> ToReportCodePage(std::string_view utf8) { return ReportCodePage().Encode(utf8); }

std::string ToReportCodePageHtml(std::string_view utf8) { return ReportCodePage().EncodeHtml(utf8); }

}  // namespace snapsift
