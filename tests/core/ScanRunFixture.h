// Shared helpers of the evidence-entry and scan-run tests: file time stamps set to chosen UTC
// values, the platform's error numbers, and a report entry written out from the rows by hand.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/FileTimes.h"

namespace snapsift::test {

// Seconds since 1970-01-01 UTC of a date-time value.
std::int64_t UnixSeconds(const DateTime& value);

// Sets a file's last-access and last-write times; false when the platform refuses.
bool SetFileTimesUtc(const std::filesystem::path& path, const DateTime& accessed, const DateTime& modified);

// The error number a copy reports when its source file is missing, and when the folder it
// copies into is missing.
long MissingFileError();
long MissingFolderError();

// One report entry as the rows give it. The texts are given as the report shows them.
struct ExpectedEntry {
    std::string pathText;
    std::string nameText;
    std::string userId;
    std::string digest;                    // lower case, or the lower-cased failure text
    bool timesAvailable = true;
    std::optional<DateTime> created;       // as the platform reports it
    DateTime modified;
    DateTime accessed;
    std::optional<std::string> imageSource;
};
std::string EntryLines(const ExpectedEntry& entry);

// The expected entry of a file on disk, its created time taken from the file system.
ExpectedEntry EntryFor(const std::string& fullPath, const std::string& fileName, const std::string& userId,
                       const std::string& digest, const DateTime& accessed, const DateTime& modified);

inline const std::string kHeaderLine =
    "<html><head><title>Possible Quorvia JPG files and ID's</title><body>"
    "<h1>Possible Quorvia JPG files and ID's</h1><br>\r\n";
inline std::string CompletedTail(int total) {
    return "<hr>End of Report<br>\r\nTotal files found: " + std::to_string(total) + "<hr>\r\n</body></html>\r\n";
}
inline std::string AbortedTail(int total) {
    return "<br><Br><hr>Operation was aborted before completion.<br>\r\nTotal files found: " +
           std::to_string(total) + "<hr>\r\n</body></html>\r\n";
}

}  // namespace snapsift::test
