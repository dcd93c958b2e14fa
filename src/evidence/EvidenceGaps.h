// What a run's report lacks, and what it says of the run besides: one count a kind, the names
// of what each count counts, and the one table of the kinds from which the report's closing
// lines and whether the run is complete are drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "text/PathText.h"

namespace snapsift {

// What a run's report lacks, counted as it happens.
struct EvidenceGaps {
    std::uint64_t entriesNotWritten = 0;  // the report could not take the entry
    std::uint64_t entriesIncomplete = 0;  // written without a digest, or without times
    std::uint64_t filesChanged = 0;       // of those: the file changed while it was read
    std::uint64_t copiesFailed = 0;
    std::uint64_t candidatesLost = 0;     // files passing the name filter that could not be examined
    std::uint64_t entriesFromDamage = 0;  // entries whose bytes lie in a damaged part of a disk image
    std::uint64_t imageDamage = 0;        // damaged parts of a disk image met in the run (read as zeros)
    std::uint64_t reportWritesFailed = 0; // the report's header or tail could not be written
    std::uint64_t cacheEntriesDamaged = 0;    // photos' cache entries written with part of them unreadable
    std::uint64_t cacheEntriesUnreadable = 0; // cache entries whose URL could not be read
    std::uint64_t foldersUnreadable = 0;      // folders that could not be read, whole or in part (or loops)
    std::uint64_t runFilesNotWritten = 0;     // the summary, the timeline or the digest list, written at the run's end
    std::uint64_t accessTimesNotKept = 0;     // files and folders read only in a way that moved their access time
    std::uint64_t cachedBodiesCutShort = 0;   // cached photos whose body the server or the cache cut short
    std::uint64_t bodiesNotDecoded = 0;       // cached photos whose body does not decode, or not in this build
    std::uint64_t cachesNotReadable = 0;      // cache folders of a format this build cannot read
    std::uint64_t volumesWithoutProfiles = 0; // profile searches of a volume with neither profile folder
    // Cached responses under a photo's URL that are no photo (an error page, a redirect): reported
    // as evidence that the URL was fetched, and no gap in the report.
    std::uint64_t cachedNotPhotos = 0;
    // Photos' cache entries the browser had let go of, left out without --include-deleted.
    std::uint64_t deletedCacheEntriesLeftOut = 0;

    // What the counts count, by name, in the order met: the count it adds to, the name (a path,
    // and why where the count's label does not say it) and the separator between its names.
    struct Named {
        std::uint64_t EvidenceGaps::*count;
        std::string name;
        char separator;
    };
    std::vector<Named> named;
    // The most names kept for one count; a run that meets more says how many it did not name.
    static constexpr std::size_t kNamesPerCount = 100000;
    // Adds one to `count` and keeps its name.
    void Add(std::uint64_t EvidenceGaps::*count, std::string name, char separator = kSeparator) {
        if (++(this->*count) <= kNamesPerCount) named.push_back({count, std::move(name), separator});
    }
    // Whether the report may lack evidence: a count of a kind that leaves it incomplete is not 0.
    bool Any() const;
};

// Each count of EvidenceGaps, in the order of the report's closing lines: the label of its line,
// and whether it leaves the report incomplete (a problem) or says something of the run that takes
// nothing from the evidence (a note, such as an access time the system would not keep: it changed
// the evidence's metadata, not what the report holds).
struct GapKind {
    std::uint64_t EvidenceGaps::*count;
    const char* label;
    bool incomplete;
};
inline constexpr GapKind kGapKinds[] = {
    {&EvidenceGaps::foldersUnreadable, "Folders that could not be read: ", true},
    {&EvidenceGaps::entriesIncomplete, "Entries without their MD5 or times: ", true},
    {&EvidenceGaps::filesChanged, "Files that changed while they were read: ", true},
    {&EvidenceGaps::copiesFailed, "Copies that could not be made: ", true},
    {&EvidenceGaps::entriesNotWritten, "Entries that could not be written to the report: ", true},
    {&EvidenceGaps::candidatesLost, "Files that could not be examined: ", true},
    {&EvidenceGaps::entriesFromDamage, "Entries whose bytes lie in a damaged part of the disk image: ", true},
    {&EvidenceGaps::imageDamage, "Damaged parts of the disk image (read as zeros): ", true},
    {&EvidenceGaps::reportWritesFailed, "Report lines that could not be written: ", true},
    {&EvidenceGaps::runFilesNotWritten, "Summary, timeline or digest list that could not be written: ", true},
    {&EvidenceGaps::cacheEntriesDamaged, "Photos' cache entries not read whole: ", true},
    {&EvidenceGaps::cacheEntriesUnreadable, "Cache entries or parts whose URL could not be read: ", true},
    {&EvidenceGaps::cachedBodiesCutShort, "Cached photos cut short: ", true},
    {&EvidenceGaps::bodiesNotDecoded, "Cached photos whose body could not be decoded: ", true},
    {&EvidenceGaps::cachesNotReadable, "Caches this build cannot read: ", true},
    {&EvidenceGaps::volumesWithoutProfiles,
     "Volumes with neither a Users nor a Documents and Settings folder (nothing searched there): ", true},
    {&EvidenceGaps::accessTimesNotKept, "Files and folders whose access time changed when read: ", false},
    {&EvidenceGaps::cachedNotPhotos, "Cached responses that are not photos: ", false},
    {&EvidenceGaps::deletedCacheEntriesLeftOut,
     "Photos in cache entries the browser had let go of, not reported (--include-deleted reports them): ", false},
};

inline bool EvidenceGaps::Any() const {
    for (const GapKind& kind : kGapKinds)
        if (kind.incomplete && this->*kind.count != 0) return true;
    return false;
}

}  // namespace snapsift
