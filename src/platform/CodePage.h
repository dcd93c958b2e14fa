// The report's single-byte code page: the system ANSI code page on Windows, Windows-1252
// elsewhere. Text inside the program is UTF-8 and is converted here, once, on the way out.
#pragma once

#include <array>
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

// The number of the report's code page (1252 outside Windows; GetACP() on Windows, or 1252
// when the system's ANSI code page is UTF-8 and so not a single-byte one).
unsigned ReportCodePageNumber();

namespace detail {
// The character that each byte 0x80..0xFF stands for in the report's code page, or 0 where
// the byte is no character on its own (undefined, or the lead byte of a double-byte code).
// Bytes 0x00..0x7F are ASCII in every such code page.
const std::array<char32_t, 128>& ReportCodePageUpperHalf();
// The Windows-1252 upper half, with its five undefined bytes as 0.
const std::array<char32_t, 128>& Windows1252UpperHalf();
}  // namespace detail

}  // namespace snapsift
