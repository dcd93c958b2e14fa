// What snapsift-cli writes to a terminal from the scan: message texts and the progress line, with
// whatever a file name holds that a terminal would act on, or would show as nothing, written out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/PathText.h"

namespace snapsift::cli {

// A message as terminal lines: with lineBreaks, the message boxes' CR LF line breaks as line
// feeds (a message about one file has none of its own: there a CR LF is the name's, written out),
// a line feed at the end, and what it names shown by the names' rule (text/ShownText.h): "\xHH"
// for each byte of what cannot be shown as itself, a backslash that separates no names doubled.
// So a name can neither move the cursor nor hide or reorder what is shown after it, and no
// name reads as another. separator is the one between the names of the paths in the text.
std::string TerminalText(std::string_view text, bool lineBreaks = true, char separator = kSeparator);

// The progress line, without the carriage return that starts it: the counts, then as much of the
// path's end as fits into width - 1 columns, written out as TerminalText writes a name.
std::string ProgressLine(std::int32_t found, std::uint64_t examined, std::string_view path, std::size_t width,
                        char separator = kSeparator);

// The progress line while a disk's unallocated space is searched: the count, the megabytes read
// of its total (whole ones, rounded down), then as much of the area's name as fits.
std::string CarvingProgressLine(std::int32_t found, std::uint64_t bytesRead, std::uint64_t bytesTotal,
                                std::string_view area, std::size_t width);

}  // namespace snapsift::cli
