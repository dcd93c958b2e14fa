// The report's single-byte code page: the system ANSI code page on Windows, Windows-1252
// elsewhere. Text inside the program is UTF-8 and is converted here, once, on the way out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace snapsift {

// Every character of the UTF-8 text as its single-byte code, or nothing when a character
// has no such code (or the text is not valid UTF-8).
std::optional<std::string> ToReportCodePage(std::string_view utf8);

// The text in the report's code page for an HTML document: characters the code page cannot
// hold become numeric character references ("&#28450;"); bytes that are not valid UTF-8
// become "&#xFFFD;" each, so nothing is lost silently.
std::string ToReportCodePageHtml(std::string_view utf8);

}  // namespace snapsift
