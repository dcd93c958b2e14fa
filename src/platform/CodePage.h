// The report's single-byte code page: the system ANSI code page on Windows (Windows-1252 where
// that is UTF-8, which is no single-byte code page), Windows-1252 elsewhere. Text inside the
// program is UTF-8 and is converted here, once, on the way out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/CodePage.h"

namespace snapsift {

// The report's code page, built once from the system's.
const SingleByteCodePage& ReportCodePage();

// Every character of the UTF-8 text as its byte in the report's code page, or nothing when a
// character has none (or the text is not valid UTF-8).
std::optional<std::string> ToReportCodePage(std::string_view utf8);

// The text in the report's code page for an HTML document, as SingleByteCodePage::EncodeHtml
// writes it.
std::string ToReportCodePageHtml(std::string_view utf8);

namespace detail {
// The upper half of the report's code page.
const CodePageUpperHalf& ReportCodePageUpperHalf();
}  // namespace detail

}  // namespace snapsift
