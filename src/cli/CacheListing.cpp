#include "cli/CacheListing.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "cache/BlockfileCache.h"
#include "cache/FirefoxCache.h"
#include "cache/FirefoxLegacyCache.h"
#include "cache/IndexDat.h"
#include "cache/SimpleCache.h"
#ifdef SNAPSIFT_SQLITE
#include "cache/SqlCache.h"
#endif
#include "platform/SystemError.h"
#include "cache/HeldFile.h"
#include "cache/CacheReader.h"
#include "search/CacheFiles.h"
#include "text/Utf8.h"

namespace snapsift {

namespace {

// The rows of what a reader gave, in its order. `holder` names the file that holds each entry and
// its body (none: the file of the body's place), `rowSource` where an entry whose body has no
// place is.
// What the reader found of the cache as a whole (cacheFindings): damage goes into the listing's
// problem after `prefix`; notes alone, into the note column of each row it gave.
void ListContents(CacheListing& listing, const CacheContents& contents, const HeldCacheSource& files,
                  const Findings& cacheFindings, const std::string& prefix, const std::string& rowSource,
                  const std::string& holder) {
    const std::size_t firstRow = listing.rows.size();
    for (const CacheEntry& entry : contents.entries) {
        const HeldFile* bodyFile = files.Held(holder.empty() && entry.body ? entry.body->file : holder);
        if (holder.empty() && bodyFile != nullptr && !bodyFile->Opened()) bodyFile = nullptr;
        CacheListingRow& row = listing.rows.emplace_back();
        const CachedBody body = BodyOf(entry, bodyFile);
        row.bodyMd5 = body.md5;
        row.findings = entry.findings;
        row.source = entry.body ? BodyPlaceText(*entry.body) : rowSource;
        if (entry.body) row.storedBytes = entry.body->length;
        else if (entry.bodyBytes) row.storedBytes = entry.bodyBytes->size();
        // A body the entry does not keep is no fault of the listing, nor one whose place only a map
        // record no longer there gave (an entry found block by block); one it keeps and cannot give is.
        if (entry.body || (!row.findings.Damaged() && entry.reached == EntryReached::ByIndex))
            row.findings.Add(Severity::Damaged, body.decoded.outcome == DecodedBody::Outcome::Unsupported
                                                    ? body.decoded.note
                                                    : body.problem);
        row.entry = entry;
    }
    if (cacheFindings.Damaged()) listing.problem.Add(Severity::Damaged, prefix + cacheFindings.Text());
    else
        for (std::size_t row = firstRow; row < listing.rows.size(); ++row) listing.rows[row].findings.Add(cacheFindings);
}

struct FolderFiles {
    std::unique_ptr<VolumeFolder> folder;
    std::vector<std::string> files;
    std::vector<std::pair<std::string, FileIdentity>> subfolders;
    bool failed = false;  // the listing ended early
};

FolderFiles ListFolder(std::unique_ptr<VolumeFolder> folder) {
    FolderFiles listed;
    listed.folder = std::move(folder);
    if (!listed.folder) return listed;
    std::string_view name;
    EntryKind kind;
    FileIdentity identity;
    ListingStep step;
    while ((step = listed.folder->Next(name, kind, &identity)) == ListingStep::Entry) {
        if (kind == EntryKind::File) listed.files.emplace_back(name);
        else if (kind == EntryKind::Folder) listed.subfolders.emplace_back(std::string(name), identity);
    }
    listed.failed = step == ListingStep::Failed;
    return listed;
}

// The folder's path with the volume's separator at its end.
std::string FolderPath(const Volume& volume, const std::string& folderPath) {
    return folderPath.ends_with(volume.Separator()) ? folderPath : folderPath + volume.Separator();
}

// The cache folder named by the caller, opened as a root and listed, with its path ending in the
// volume's separator; why it could not be opened goes into `problem`.
std::pair<std::string, FolderFiles> OpenCacheFolder(Volume& volume, const std::string& folderPath,
                                                    Findings& problem) {
    std::string path = FolderPath(volume, folderPath);
    SystemError error;
    FolderFiles listed = ListFolder(volume.OpenRoot(path, error));
    if (!listed.folder) problem.Add(Severity::Damaged, SystemErrorText(error.code));
    else if (listed.failed) problem.Add(Severity::Damaged, "the folder could not be listed to its end");
    return {std::move(path), std::move(listed)};
}

bool Has(const std::vector<std::string>& names, std::string_view name) {
    for (const std::string& each : names)
        if (each == name) return true;
    return false;
}

// Each entry file `name` of a simple cache or a cache2 folder (the files held by `files`); a file
// not read whole says so on its entry.
void ListEntryFile(HeldCacheSource& files, const std::string& prefix, const std::string& name, CacheFormat format,
                   Cache2Folder cache2Folder, CacheListing& listing) {
    CacheContents contents = format == CacheFormat::ChromiumSimple ? ReadSimpleCache(files, name)
                                                                   : ReadCache2(files, name, cache2Folder);
    const HeldFile& file = *files.Held(name);
    for (CacheEntry& entry : contents.entries)
        if (file.Opened() && !file.Whole()) entry.findings.Add(Severity::Damaged, file.Problem());
    ListContents(listing, contents, files, {}, "", prefix + name, name);
}

void ListCache2Folder(Volume& volume, const VolumeFolder& root, const std::string& path, const std::string& prefix,
                      const FileIdentity& identity, Cache2Folder which, CacheListing& listing) {
    SystemError error;
    const FolderFiles listed = ListFolder(volume.OpenBelow(root, path, identity, error));
    if (!listed.folder) {
        listing.problem.Add(Severity::Damaged, prefix + " could not be opened: " + SystemErrorText(error.code));
        return;
    }
    if (listed.failed) listing.problem.Add(Severity::Damaged, prefix + " could not be listed to its end");
    HeldCacheSource files(*listed.folder, path);
    for (const std::string& name : listed.files) {
        if (IsCache2EntryFileName(name, which))
            ListEntryFile(files, prefix, name, CacheFormat::FirefoxCache2, which, listing);
        else
            listing.notEntries.push_back(prefix + name);
    }
}

}  // namespace

CacheListing ListIndexDat(Volume& volume, const std::string& folderPath, const std::string& fileName) {
    CacheListing listing;
    const char separator = volume.Separator();
    const auto [path, listed] = OpenCacheFolder(volume, folderPath, listing.problem);
    if (!listed.folder) return listing;
    listing.problem = {};  // only the one file is read
    SystemError error;
    HeldCacheSource files(*listed.folder, path);
    const CacheFile head = files.Read(fileName, kIndexDatSignatureSize);
    if (!head.opened) {
        listing.problem.Add(Severity::Damaged, head.problem);
        return listing;
    }
    if (!IsIndexDatStart(head.bytes)) return listing;
    listing.isCache = true;
    const CacheContents contents = ReadIndexDat(files, fileName);
    // The cache folders beside the index that its table names, each opened and listed once, for the
    // cached files' digests (an index copied elsewhere may lie beside many other folders).
    struct CacheFolder {
        FolderFiles listed;
        std::set<std::string> lowerNames;  // of its files
    };
    std::set<std::string> named;
    for (const IndexDatFolder& folder : contents.folders) named.insert(LowerAscii(folder.name));
    std::map<std::string, CacheFolder> folders;
    for (const auto& [name, identity] : listed.subfolders) {
        if (!named.contains(LowerAscii(name))) continue;
        CacheFolder& folder = folders[LowerAscii(name)];
        folder.listed = ListFolder(volume.OpenBelow(*listed.folder, path + name + separator, identity, error));
        for (const std::string& file : folder.listed.files) folder.lowerNames.insert(LowerAscii(file));
    }
    for (const CacheEntry& record : contents.entries) {
        CacheListingRow row;
        row.entry = record;
        row.entry.created = record.lastModified;  // the created column gives the server's Last-Modified
        const bool inFreeBlocks = record.reached == EntryReached::ByWalkInFreeBlocks;
        Findings fileProblems;  // of the cached file
        if (record.body) {
            const std::size_t slash = record.body->file.find('/');
            const std::string folderName = record.body->file.substr(0, slash);
            const std::string name = record.body->file.substr(slash + 1);
            row.source = folderName + '\\' + name;
            row.storedBytes = record.body->length;
            const auto folder = folders.find(LowerAscii(folderName));
            HeldFile cached;
            if (folderName.empty() && !record.findings.Empty()) {
                // its index lies past the folder table, as the record's note says
            } else if (folder == folders.end() || !folder->second.listed.folder) {
                fileProblems.Add(Severity::Damaged, "its folder " + folderName + " is not beside the index");
            } else if (!cached.Open(*folder->second.listed.folder, name, path + folderName + separator + name)) {
                // The browser removes the file of a record it lets go of, or means to.
                const CacheFolder& cacheFolder = folder->second;
                const bool absent = cached.Missing() || (!cacheFolder.listed.failed &&
                                                         !cacheFolder.lowerNames.contains(LowerAscii(name)));
                if (!absent)
                    fileProblems.Add(Severity::Damaged, "its file " + cached.Problem());
                else if (!record.deleted)
                    fileProblems.Add(Severity::Damaged, "its file is not in its folder");
            } else if (cached.ReadWhole()) {
                CacheEntry whole;  // the cached file is the body, as it was stored
                whole.body = BodyPlace{name, 0, cached.Bytes().size(), std::nullopt};
                row.bodyMd5 = BodyOf(whole, &cached).md5;
            } else {
                fileProblems.Add(Severity::Damaged, "its file: " + cached.Problem());
            }
        }
        if (inFreeBlocks)
            row.findings.Add(Severity::Note, "found in blocks the allocation bitmap marks free");
        else if (record.reached == EntryReached::ByWalkInUse)
            row.findings.Add(Severity::Note, "reached through the allocation bitmap only");
        // What is left of a record in free blocks is read as far as it goes: what it lacks is no
        // part of the cache that could not be read.
        for (const Finding& finding : record.findings.All())
            row.findings.Add(inFreeBlocks ? Severity::Note : finding.severity, finding.text);
        row.findings.Add(fileProblems);
        listing.rows.push_back(std::move(row));
    }
    if (contents.findings.Damaged()) listing.problem.Add(Severity::Damaged, contents.findings.Text());
    else
        for (CacheListingRow& row : listing.rows) row.findings.Add(contents.findings);
    return listing;
}

bool CacheListing::Whole() const {
    if (!problem.Empty()) return false;
    for (const CacheListingRow& row : rows)
        if (row.findings.Damaged()) return false;
    return true;
}

CacheListing ListCache(Volume& volume, const std::string& folderPath) {
    CacheListing listing;
    const char separator = volume.Separator();
    const auto [path, listed] = OpenCacheFolder(volume, folderPath, listing.problem);
    if (!listed.folder) return listing;

    if (Has(listed.files, "index")) {
        HeldCacheSource files(*listed.folder, path);
        const CacheFile index = files.Read("index", 4);
        if (index.opened && IsBlockfileIndexStart(index.bytes)) {
            listing.isCache = true;
            const CacheContents contents = ReadBlockfileCache(files);
            Findings problems;
            problems.Add(Severity::Damaged, contents.indexUnusable);
            problems.Add(contents.findings);
            problems.Add(files.NotWhole());
            ListContents(listing, contents, files, problems, "", "index", "");
            return listing;
        }
        // An index that will not open may be a blockfile cache's: said, whatever the folder is.
        if (!index.opened) listing.problem.Add(Severity::Damaged, "index: " + index.problem);
    }
    // Firefox before cache2: its map and block files, found by what they hold; the separate files
    // in the subfolders opened as their names are asked for.
    if (std::any_of(listed.files.begin(), listed.files.end(), IsFirefoxLegacyCacheFileName)) {
        HeldCacheSource files(*listed.folder, path);
        files.SetSubfolderOpener([&](std::string_view name, std::string& subPath) {
            SystemError error;
            return OpenListedSubfolder(volume, *listed.folder, volume.OpenRoot(path, error), path, name, subPath);
        });
        const CacheContents contents = ReadFirefoxLegacyCache(files);
        if (!contents.version.empty() || !contents.entries.empty()) {
            listing.isCache = true;
            Findings problems;
            problems.Add(contents.findings);
            problems.Add(files.NotWhole());
            ListContents(listing, contents, files, problems, "", "_CACHE_MAP_", "");
            return listing;
        }
        if (contents.findings.Damaged()) listing.problem.Add(Severity::Damaged, contents.findings.Text());
    }
    // Firefox: the cache2 folder with entries/ (and doomed/), or entries/ itself.
    for (const auto& [name, identity] : listed.subfolders) {
        if (name != "entries") continue;
        listing.isCache = true;
        ListCache2Folder(volume, *listed.folder, path + name + separator, name + separator, identity,
                         Cache2Folder::Entries, listing);
        for (const auto& [doomedName, doomedIdentity] : listed.subfolders)
            if (doomedName == "doomed")
                ListCache2Folder(volume, *listed.folder, path + doomedName + separator, doomedName + separator,
                                 doomedIdentity, Cache2Folder::Doomed, listing);
        return listing;
    }
#ifdef SNAPSIFT_SQLITE
    // Chromium's SQL cache: every shard database of the folder, in listing order.
    HeldCacheSource shards(*listed.folder, path);
    for (const std::string& name : listed.files) {
        if (!IsSqlShardName(name)) continue;
        const CacheFile head = shards.Read(name, 16);
        if (!head.opened) {
            listing.problem.Add(Severity::Damaged, name + ": " + head.problem);
            continue;
        }
        if (!IsSqliteDatabaseStart(head.bytes)) continue;
        listing.isCache = true;
        const CacheContents contents = ReadSqlCache(shards, name);
        const std::string& problem = shards.Held(name)->Problem();
        listing.problem.Add(Severity::Damaged, problem.empty() ? std::string() : name + ": " + problem);
        ListContents(listing, contents, shards, contents.findings, name + ": ", name, name);
    }
    if (listing.isCache) return listing;
#endif
    bool simple = false, cache2 = false;
    for (const std::string& name : listed.files) {
        simple = simple || IsSimpleEntryName(name);
        cache2 = cache2 || IsCache2EntryFileName(name, Cache2Folder::Entries);
    }
    HeldCacheSource files(*listed.folder, path);
    for (const auto& [name, identity] : listed.subfolders) {
        // The simple cache keeps each entry's last-used time in index-dir/the-real-index only.
        SystemError error;
        if (simple && name == "index-dir")
            files.AddFolder(name, volume.OpenBelow(*listed.folder, path + name + separator, identity, error),
                            path + name + separator);
    }
    if (simple || cache2) listing.isCache = true;
    for (const std::string& name : listed.files) {
        if (simple && IsSimpleEntryName(name))
            ListEntryFile(files, "", name, CacheFormat::ChromiumSimple, Cache2Folder::Entries, listing);
        else if (!simple && IsCache2EntryFileName(name, Cache2Folder::Entries))
            ListEntryFile(files, "", name, CacheFormat::FirefoxCache2, Cache2Folder::Entries, listing);
        else if (!simple && cache2)
            listing.notEntries.push_back(name);
    }
    return listing;
}

}  // namespace snapsift
