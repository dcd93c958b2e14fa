// The files that make a run folder checkable by other tools, written when the run ends (completed
// or aborted), both from what the spreadsheet form holds: the timeline and the digest list.
//
// "Quorvia JPG Files.timeline.jsonl": one JSON object a line for each time of each entry (created,
// modified, last accessed, and the cache's created and last used where known), in time order, as
// timeline tools import them: "message", "datetime" (ISO 8601, UTC), "timestamp_desc", and the
// entry's number, path, MD5, SHA-256 and user ID.
//
// "SHA256SUMS": a line for every file of the run folder but itself, in sha256sum's form, so that
// `sha256sum -c SHA256SUMS` in the folder checks them. A copy made whole takes its entry's
// SHA-256 (its bytes are the ones digested as they were read); every other file is read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snapsift {

inline constexpr std::string_view kTimelineFileName = "Quorvia JPG Files.timeline.jsonl";
inline constexpr std::string_view kDigestListFileName = "SHA256SUMS";

// Writes the timeline from the run's spreadsheet form, then the digest list of every file of the
// run folder. Gives how many of the two are not whole: the timeline when the spreadsheet form
// cannot be read or the timeline cannot be written, the list when a file could not be read or
// the list could not be written.
int WriteTimelineAndDigestList(const std::string& runFolder);

// One line of a digest list in sha256sum's form, its name escaped as sha256sum escapes it.
std::string DigestListLine(std::string_view sha256, std::string_view name);
// A digest list's lines as (digest, name) pairs; nothing for a line not in that form.
std::vector<std::optional<std::pair<std::string, std::string>>> ReadDigestList(std::string_view text);

// The SHA-256 of a file's bytes; nothing when it cannot be read.
std::optional<std::string> FileSha256(const std::string& path);

}  // namespace snapsift

namespace snapsift {

// A name that the spreadsheet form or the digest list gives, which is no file of the run folder
// to read: never opened.
struct NotAFile {
    enum class Why {
        Path,     // a path (out of the folder, absolute, or into a subfolder), not a name in it
        Link,     // a symbolic link or junction
        Folder,   // a folder
        Special,  // a FIFO, a socket or a device
    };
    Why why;
    std::string name;
};

// What a check of a run folder against its own spreadsheet form and digest list found.
struct RunCheck {
    bool runFolder = false;          // false: no spreadsheet form in the run's form; nothing was checked
    bool finished = false;           // the digest list was read (a run killed before its end has none)
    bool digestListMissing = false;  // no entry of the digest list's name at all
    std::optional<std::string> digestListSha256;  // the digest list's own SHA-256, as it is on disk
    std::size_t filesChecked = 0;  // read and compared; not those missing or not files of the folder
    std::vector<std::string> missing, changed, notListed;  // file names
    std::vector<std::string> unreadable;   // there, but they could not be opened or read
    std::vector<std::string> conflicting;  // given two different digests (two lines, or two rows)
    std::vector<NotAFile> notFiles;
    std::size_t unreadableLines = 0;  // lines of the digest list not in its form
    bool csvCutShort = false;         // the CSV's last row is cut short; the rows before it were checked
    std::size_t csvRows = 0;          // whole rows under its header
    // The first row (from 1) whose entry number is not its place; nothing while they run 1..csvRows.
    std::optional<std::size_t> misnumberedRow;
    // "Total files found" of the report's tail; nothing without a tail (a run killed before its
    // end), or when the tail's total cannot be read (reportTotalUnreadable).
    std::optional<std::uint64_t> reportTotal;
    bool reportTotalUnreadable = false;

    bool CountsAgree() const {
        return !misnumberedRow && !reportTotalUnreadable && (!reportTotal || *reportTotal == csvRows);
    }
    bool AllMatch() const {
        return finished && missing.empty() && changed.empty() && notListed.empty() && unreadable.empty() &&
               conflicting.empty() && notFiles.empty() && unreadableLines == 0 && !csvCutShort && CountsAgree();
    }
};

// Reads the spreadsheet form, the digest list and every file that either names once each,
// through the open folder: a name is read only where the folder lists a regular file by it,
// never through a link, and no further than the file's size at its open. Checks each copy's MD5
// and SHA-256 against its row and each listed file against its line, and the report's total
// against the form's rows; names the files missing, changed, unreadable or not files of the
// folder at all, and the files of the folder that neither lists.
RunCheck CheckRunFolder(const std::string& runFolder);

}  // namespace snapsift
