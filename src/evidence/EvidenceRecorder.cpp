#include "evidence/EvidenceRecorder.h"

#include "hash/MD5.h"
#include "platform/SystemError.h"
#include "platform/OutputFile.h"
#include "text/PathText.h"
#include "evidence/EvidenceRead.h"
#include "search/Recognition.h"
#include "report/CsvReport.h"
#include "report/Report.h"

namespace snapsift {

void EvidenceRecorder::ProcessCandidate(const VolumeFolder& folder, const std::string& fullPath,
                                     const std::string& fileName, NameStyle nameStyle) {
    // The walk has applied the name filter; its style comes with the name.
    const std::optional<std::string_view> userId = RecognizeCandidate(fileName, nameStyle);
    if (!userId) return;
    RecordEvidence(folder, fullPath, fileName, std::string(*userId));
}

namespace {

// A name whose record is lost keeps nothing of its own but the name.
bool RecordLost(FileState state) {
    return state == FileState::RecordReused || state == FileState::RecordUnreadable ||
           state == FileState::DeletedRecordUnreadable;
}

// Why a file of a disk image was not read at all, known from its record at the open; empty for
// a file to read.
std::string NotReadReason(const SystemError& error, std::int64_t size) {
    if (error == kSizeBeyondVolume)
        return "its recorded size, " + std::to_string(size) + " bytes, is larger than its volume: the record is damaged";
    if (error == kSizeBeyondAllocation)
        return "its recorded size, " + std::to_string(size) +
               " bytes, is larger than the space given to it: the record is damaged";
    if (error == kDataBeyondVolume) return "its data lies partly past the end of its volume: the record is damaged";
    return {};
}

}  // namespace

std::string_view StatusText(FileState state) {
    switch (state) {
    case FileState::Deleted: return "deleted (its content may have been partly overwritten)";
    case FileState::RecordReused: return "deleted (record reused, content lost)";
    case FileState::RecordUnreadable: return "its MFT record could not be read (damaged): no times, no content";
    case FileState::DeletedRecordUnreadable: return "deleted (its MFT record could not be read: no times, no content)";
    case FileState::Present: break;
    }
    return {};
}

void AddStatus(std::string& status, std::string_view reason) {
    if (reason.empty()) return;
    if (!status.empty()) status += "; ";
    status += reason;
}

void EvidenceRecorder::RecordEvidence(const VolumeFolder& folder, const std::string& fullPath,
                                   const std::string& fileName, const std::string& userId) {
    // One open gives the whole entry: the times as they were before any byte was read, then
    // the digest and the copy from a single pass over the bytes that were there at the open.
    SystemError openError;
    std::unique_ptr<VolumeFile> file = folder.OpenFile(fileName, fullPath, openError);
    if (!file && openError == kNotOnVolume) return;
    ReadIeCacheIndexesFor(fullPath);

    ReportEntry entry;
    entry.fullPath = fullPath;
    entry.fileName = fileName;
    entry.userId = userId;
    entry.separator = separator_;
    const FileState state = file ? file->State() : FileState::Present;
    entry.status = StatusText(state);
    const bool recordLost = RecordLost(state);
    if (recordLost) file.reset();

    const bool opened = file != nullptr;
    // A file listed but not opened: why, in its status; its times were not read either.
    if (!opened && !recordLost) {
        AddStatus(entry.status, "could not be opened: " + SystemErrorText(openError.code));
        entry.timesNotRead = true;
    }
    // A size or a place of its bytes that no volume of its size can hold: nothing of it is read.
    const std::string notRead = opened ? NotReadReason(file->Error(), file->Size()) : std::string();
    if (!notRead.empty()) AddStatus(entry.status, notRead);
    if (opened && !file->AccessTimeKept()) host_.AccessTimeNotKept(fullPath);
    entry.timesAvailable = opened && file->Times(entry.timeCreated, entry.timeAccessed, entry.timeModified);

    const std::int32_t number = CountEntry();
    entry.number = number;
    std::string ending = std::to_string(number);  // built up so that GCC 12 sees no overlap in it
    ending.insert(0, 1, '-');
    ending += ".jpg";
    const std::string copyName = FitNameLimit(
        std::string_view(fileName).substr(0, fileName.size() >= 4 ? fileName.size() - 4 : 0), ending);

    bool includePhotos = host_.IncludePhotos() && !recordLost && notRead.empty();
    NewOutputFile copy;
    // Only a copy that cannot be written to the output folder is the copy's failure; evidence
    // that cannot be read is said in its entry.
    long copyError = 0;
    if (includePhotos && opened && !copy.Create(runFolder_ + copyName)) copyError = copy.Error();

    std::optional<std::string> hex, sha256;
    bool fromDamage = false, copyFinished = false;
    // Without photos, a file too long for a digest gives nothing that a read would be for.
    const bool worthReading = includePhotos || file == nullptr || file->Size() < MD5::kFinalLimit;
    if (opened && notRead.empty() && worthReading) {
        if (afterOpen_) afterOpen_(fullPath);
        const bool copying = includePhotos && copyError == 0;
        const auto stopRequested = [this] {
            host_.Yield();
            return abortRequested_ != nullptr && *abortRequested_;
        };
        EvidenceDigest digest = DigestEvidence(
            *file, copying ? [&copy](std::string_view bytes) { copy.Write(bytes); }
                           : std::function<void(std::string_view)>(),
            stopRequested);
        hex = std::move(digest.md5);
        sha256 = std::move(digest.sha256);
        if (digest.failure == DigestFailure::ReadFailed) {
            AddStatus(entry.status, "could not be read: " + (digest.readError.code != 0
                                                                 ? SystemErrorText(digest.readError.code)
                                                                 : digest.why.empty() ? std::string("the read stopped")
                                                                                    : digest.why));
            includePhotos = false;
        }
        if (digest.failure == DigestFailure::ChangedWhileRead) {
            tally_.gaps.Add(&EvidenceGaps::filesChanged, "entry " + std::to_string(number) + ", " + fullPath, separator_);
            host_.FileChangedWhileRead(fullPath);
        }
        if (digest.failure == DigestFailure::Aborted) {
            // Part of a file is no evidence of it: the unfinished copy goes with the entry's image line.
            AddStatus(entry.status, "not examined to its end: the run was aborted while it was read");
            includePhotos = false;
        } else if (file->ReadFromDamage()) {
            // Zeros in place of its bytes: neither the digest nor the copy is the file's.
            fromDamage = true;
            hex.reset();
            sha256.reset();
            AddStatus(entry.status, "unreliable: its bytes lie in a damaged part of the disk image, which was read as zeros");
            includePhotos = false;
        } else if (copying && copyError == 0 && digest.failure != DigestFailure::ReadFailed) {
            copyError = copy.Finish();
            copyFinished = copyError == 0;
        }
    }
    file.reset();
    const std::string named = "entry " + std::to_string(number) + ", " + fullPath;
    if (fromDamage)
        tally_.gaps.Add(&EvidenceGaps::entriesFromDamage, named, separator_);
    else if (state != FileState::RecordReused && (!hex || !entry.timesAvailable))
        tally_.gaps.Add(&EvidenceGaps::entriesIncomplete, named + (entry.status.empty() ? "" : ": " + entry.status),
                        separator_);
    entry.md5 = std::move(hex);
    if (sha256) entry.sha256 = std::move(*sha256);
    if (includePhotos && copyError != 0) CopyFailed(fullPath, copyError);

    // The image line only for a copy that was made.
    entry.copyMade = includePhotos && copyFinished;
    if (entry.copyMade) entry.copyFileName = copyName;
    AddIeCacheRecord(entry);
    AppendEntry(entry);
}

std::int32_t EvidenceRecorder::CountEntry() {
    const std::int32_t number = ++tally_.filesFound;
    host_.FileFound(number);
    return number;
}

void EvidenceRecorder::CopyFailed(const std::string& fullPath, long error) {
    const std::string why = error > 0 ? SystemErrorText(error) : std::string("it could not be written whole");
    tally_.gaps.Add(&EvidenceGaps::copiesFailed, fullPath + ": " + why, separator_);
    host_.ShowMessage("Error copying file: " + fullPath + ". Error number: " + std::to_string(error) + " (" + why + ").",
                      MessageKind::FileProblem);
}

void EvidenceRecorder::AppendEntry(const ReportEntry& entry) {
    const EntryWritten written = entries_.Append(entry);
    if (written == EntryWritten::NotInReport) {
        tally_.gaps.Add(&EvidenceGaps::entriesNotWritten, "entry " + std::to_string(entry.number) + ", " + entry.fullPath,
                        separator_);
        host_.ShowMessage("Error writing to HTML report for file: " + entry.fullPath + ".", MessageKind::FileProblem);
    } else if (written == EntryWritten::NotInCsv) {
        tally_.gaps.Add(&EvidenceGaps::entriesNotWritten,
                        "entry " + std::to_string(entry.number) + " (its CSV row), " + entry.fullPath, separator_);
        host_.ShowMessage("Error writing to CSV file for file: " + entry.fullPath + ".", MessageKind::FileProblem);
    }
}

}  // namespace snapsift
