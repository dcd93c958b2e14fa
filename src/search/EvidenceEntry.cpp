#include "search/EvidenceEntry.h"

#include "hash/MD5.h"
#include "platform/OutputFile.h"
#include "text/PathText.h"
#include "search/EvidenceRead.h"
#include "search/Recognition.h"
#include "report/Report.h"

namespace snapsift {

void EvidenceEntry::ProcessCandidate(const VolumeFolder& folder, const std::string& fullPath,
                                     const std::string& fileName, NameStyle nameStyle) {
    // The walk has applied the name filter; its style comes with the name.
    const std::optional<std::string_view> userId = RecognizeCandidate(fileName, nameStyle);
    if (!userId) return;
    RecordEvidence(folder, fullPath, fileName, std::string(*userId));
}

namespace {

std::string_view StatusText(FileState state) {
    switch (state) {
    case FileState::Deleted: return "deleted (its content may have been partly overwritten)";
    case FileState::RecordReused: return "deleted (record reused, content lost)";
    case FileState::RecordUnreadable: return "its record could not be read (damaged): no times, no content";
    case FileState::Present: break;
    }
    return {};
}

}  // namespace

void EvidenceEntry::RecordEvidence(const VolumeFolder& folder, const std::string& fullPath,
                                   const std::string& fileName, const std::string& userId) {
    // One open gives the whole entry: the times as they were before any byte was read, then
    // the digest and the copy from a single pass over the bytes that were there at the open.
    SystemError openError;
    std::unique_ptr<VolumeFile> file = folder.OpenFile(fileName, fullPath, openError);
    if (!file && openError == kNotOnVolume) return;

    ReportEntry entry;
    entry.fullPath = fullPath;
    entry.fileName = fileName;
    entry.userId = userId;
    entry.separator = separator_;
    // A deleted name whose record another file has taken keeps nothing of its own but the name.
    const FileState state = file ? file->State() : FileState::Present;
    entry.status = StatusText(state);
    if (state == FileState::RecordReused) file.reset();

    const bool opened = file != nullptr;
    if (opened && !file->AccessTimeKept()) host_.AccessTimeNotKept(fullPath);
    entry.timesAvailable = opened && file->Times(entry.timeCreated, entry.timeAccessed, entry.timeModified);

    const std::int32_t number = ++tally_.filesFound;
    host_.FileFound(number);
    std::string ending = std::to_string(number);  // built up so that GCC 12 sees no overlap in it
    ending.insert(0, 1, '-');
    ending += ".jpg";
    const std::string copyName = FitNameLimit(
        std::string_view(fileName).substr(0, fileName.size() >= 4 ? fileName.size() - 4 : 0), ending);

    const bool includePhotos = host_.IncludePhotos() && state != FileState::RecordReused;
    NewOutputFile copy;
    long copyError = opened ? 0 : openError.code;
    if (includePhotos && opened && !copy.Create(runFolder_ + copyName)) copyError = copy.Error();

    std::optional<std::string> hex;
    if (opened) {
        if (afterOpen_) afterOpen_(fullPath);
        const bool copying = includePhotos && copyError == 0;
        EvidenceDigest digest = DigestEvidence(
            *file, copying ? [&copy](std::string_view bytes) { copy.Write(bytes); }
                           : std::function<void(std::string_view)>());
        hex = std::move(digest.hex);
        if (digest.failure == DigestFailure::ReadFailed && copyError == 0) copyError = digest.readError.code;
        if (digest.failure == DigestFailure::ChangedWhileRead) {
            ++tally_.gaps.filesChanged;
            host_.FileChangedWhileRead(fullPath);
        }
        if (copying && copyError == 0) copyError = copy.Finish();
    }
    file.reset();
    if (state != FileState::RecordReused && (!hex || !entry.timesAvailable)) ++tally_.gaps.entriesIncomplete;
    // The report's words for an entry without its digest.
    entry.digest = hex ? std::move(*hex) : std::string(MD5::kFileFailureText);
    if (includePhotos && copyError != 0) {
        ++tally_.gaps.copiesFailed;
        host_.ShowMessage("Error copying file: " + fullPath + ". Error number: " + std::to_string(copyError) +
                              ". Click OK to continue.",
                          MessageKind::FileProblem);
    }

    if (includePhotos) entry.copyFileName = copyName;
    if (!AppendReportEntry(runFolder_ + std::string(kReportFileName), entry)) {
        ++tally_.gaps.entriesNotWritten;
        host_.ShowMessage("Error writing to HTML report for file: " + fullPath + ". Click OK to continue.",
                          MessageKind::FileProblem);
    }
}

}  // namespace snapsift
