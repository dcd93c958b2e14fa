#include "cli/CacheListing.h"

#include <map>
#include <memory>
#include <set>

#include "cache/BlockfileCache.h"
#include "cache/FirefoxCache.h"
#include "cache/IndexDat.h"
#include "cache/SimpleCache.h"
#ifdef SNAPSIFT_SQLITE
#include "cache/SqlCache.h"
#endif
#include "platform/SystemError.h"
#include "cache/HeldFile.h"
#include "search/CacheFiles.h"
#include "text/Utf8.h"

namespace snapsift {

namespace {

// What a reader found of the cache as a whole: damage goes into the listing's problem; notes
// alone, into the note column of the rows it gave from `firstRow` on.
void AddCacheFindings(CacheListing& listing, const Findings& findings, const std::string& prefix,
                      std::size_t firstRow) {
    if (findings.Damaged()) {
        listing.problem.Add(Severity::Damaged, prefix + findings.Text());
        return;
    }
    for (std::size_t row = firstRow; row < listing.rows.size(); ++row) listing.rows[row].findings.Add(findings);
}

CacheListingRow RowOf(CacheEntry entry, const HeldFile* bodyFile, const std::string& entryFile) {
    CacheListingRow row;
    const CachedBody body = BodyOf(entry, bodyFile);
    row.bodyMd5 = body.md5;
    row.findings = entry.findings;
    if (entry.body) {
        row.storedBytes = entry.body->length;
        row.source = BodyPlaceText(*entry.body);
    } else if (entry.bodyBytes) {
        row.storedBytes = entry.bodyBytes->size();
        row.source = entryFile;
    } else {
        row.source = entryFile;
    }
    // A body the entry does not keep is no fault of the listing; one it keeps and cannot give is.
    if (entry.body || !row.findings.Damaged())
        row.findings.Add(Severity::Damaged, body.decoded.outcome == DecodedBody::Outcome::Unsupported
                                                ? body.decoded.note
                                                : body.problem);
    row.entry = std::move(entry);
    return row;
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

// `index` is the cache's index, open and read in part already: each file is opened once.
void ListBlockfile(const FolderFiles& listed, const std::string& folderPath, HeldFile index, CacheListing& listing) {
    std::map<std::string, HeldFile, std::less<>> files;
    index.ReadWhole();
    files.emplace("index", std::move(index));
    const BlockfileFiles held = [&](std::string_view name) -> std::optional<std::span<const std::uint8_t>> {
        auto found = files.find(name);
        if (found == files.end()) {
            found = files.emplace(std::string(name), HeldFile()).first;
            if (found->second.Open(*listed.folder, name, folderPath + std::string(name))) found->second.ReadWhole();
        }
        if (!found->second.Opened()) return std::nullopt;
        return found->second.Bytes();
    };
    const BlockfileUnopened unopened = [&](std::string_view name) {
        const auto found = files.find(name);
        return found == files.end() || found->second.NoSuchFile() ? std::string() : found->second.Problem();
    };
    const BlockfileCacheContents contents = ReadBlockfileCacheContents(held, {}, unopened);
    Findings problems = contents.findings;
    for (const auto& [name, file] : files)
        if (file.Opened() && !file.Problem().empty()) problems.Add(Severity::Damaged, name + ": " + file.Problem());
    for (const CacheEntry& entry : contents.entries) {
        const HeldFile* bodyFile = nullptr;
        if (entry.body) {
            const auto found = files.find(entry.body->file);
            if (found != files.end() && found->second.Opened()) bodyFile = &found->second;
        }
        listing.rows.push_back(RowOf(entry, bodyFile, "index"));
    }
    AddCacheFindings(listing, problems, "", 0);
}

void ListEntryFile(const VolumeFolder& folder, const std::string& folderPath, const std::string& prefix,
                   const std::string& name, CacheFormat format, Cache2Folder cache2Folder, CacheListing& listing) {
    HeldFile file;
    CacheEntry entry;
    entry.format = format;
    if (file.Open(folder, name, folderPath + name)) file.ReadWhole();
    if (!file.Opened()) {
        entry.findings.Add(Severity::Damaged, file.Problem());
    } else if (format == CacheFormat::ChromiumSimple) {
        entry = ReadSimpleEntry(name, file.Bytes());
    } else {
        entry = ReadCache2Entry(name, file.Bytes(), cache2Folder);
        entry.deleted = entry.deleted || cache2Folder == Cache2Folder::Doomed;
    }
    if (file.Opened() && !file.Whole()) entry.findings.Add(Severity::Damaged, file.Problem());
    listing.rows.push_back(RowOf(std::move(entry), &file, prefix + name));
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
    for (const std::string& name : listed.files) {
        if (IsCache2EntryFileName(name, which))
            ListEntryFile(*listed.folder, path, prefix, name, CacheFormat::FirefoxCache2, which, listing);
        else
            listing.notEntries.push_back(prefix + name);
    }
}

// The simple cache keeps each entry's last-used time in index-dir/the-real-index only.
void AddSimpleLastUsed(Volume& volume, const VolumeFolder& root, const FolderFiles& listed, const std::string& path,
                       CacheListing& listing) {
    const char separator = volume.Separator();
    for (const auto& [name, identity] : listed.subfolders) {
        if (name != "index-dir") continue;
        SystemError error;
        const std::string indexFolder = path + name + separator;
        const std::unique_ptr<VolumeFolder> folder = volume.OpenBelow(root, indexFolder, identity, error);
        HeldFile index;
        if (!folder || !index.Open(*folder, "the-real-index", indexFolder + "the-real-index")) return;
        index.ReadWhole();
        const SimpleIndex read = ReadSimpleIndex(index.Bytes());
        std::map<std::uint64_t, DateTime> lastUsed;
        for (const SimpleIndexEntry& entry : read.entries)
            if (entry.lastUsed) lastUsed.emplace(entry.hash, *entry.lastUsed);
        for (CacheListingRow& row : listing.rows) {
            const auto hash = row.entry.body ? SimpleEntryHash(row.entry.body->file) : std::nullopt;
            const auto found = hash ? lastUsed.find(*hash) : lastUsed.end();
            if (found != lastUsed.end()) row.entry.lastUsed = found->second;
        }
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
    HeldFile index;
    if (!index.Open(*listed.folder, fileName, path + fileName)) {
        listing.problem.Add(Severity::Damaged, index.Problem());
        return listing;
    }
    index.ReadUpTo(kIndexDatSignatureSize);
    if (!IsIndexDatStart(index.Bytes())) return listing;
    listing.isCache = true;
    index.ReadWhole();
    const IndexDatContents contents = ReadIndexDat(index.Bytes());
    Findings problems;
    problems.Add(Severity::Damaged, index.Problem());
    problems.Add(contents.findings);
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
    for (const IndexDatRecord& record : contents.records) {
        if (record.kind == IndexDatRecordKind::Redirect) continue;
        CacheListingRow row;
        CacheEntry& entry = row.entry;
        entry.format = CacheFormat::InternetExplorerIndexDat;
        entry.url = record.url;
        entry.created = record.lastModified;
        entry.lastUsed = record.lastAccessed;
        entry.statusLine = record.statusLine;
        entry.contentType = record.contentType;
        entry.contentEncoding = record.contentEncoding;
        entry.deleted = record.deleted;
        Findings fileProblems;  // of the cached file
        if (!record.fileName.empty()) {
            row.source = record.folder + '\\' + record.fileName;
            row.storedBytes = record.fileSize;
            const auto folder = folders.find(LowerAscii(record.folder));
            HeldFile cached;
            if (record.folder.empty() && !record.findings.Empty()) {
                // its index lies past the folder table, as the record's note says
            } else if (folder == folders.end() || !folder->second.listed.folder) {
                fileProblems.Add(Severity::Damaged, "its folder " + record.folder + " is not beside the index");
            } else if (!cached.Open(*folder->second.listed.folder, record.fileName,
                                    path + record.folder + separator + record.fileName)) {
                // The browser removes the file of a record it lets go of, or means to.
                const CacheFolder& cacheFolder = folder->second;
                const bool absent = cached.Missing() || (!cacheFolder.listed.failed &&
                                                         !cacheFolder.lowerNames.contains(LowerAscii(record.fileName)));
                if (!absent)
                    fileProblems.Add(Severity::Damaged, "its file " + cached.Problem());
                else if (!record.deleted)
                    fileProblems.Add(Severity::Damaged, "its file is not in its folder");
            } else if (cached.ReadWhole()) {
                CacheEntry whole;  // the cached file is the body, as it was stored
                whole.body = BodyPlace{record.fileName, 0, cached.Bytes().size(), std::nullopt};
                row.bodyMd5 = BodyOf(whole, &cached).md5;
            } else {
                fileProblems.Add(Severity::Damaged, "its file: " + cached.Problem());
            }
        }
        if (record.inFreeBlocks)
            row.findings.Add(Severity::Note, "found in blocks the allocation bitmap marks free");
        else if (record.unreachedByHashTable)
            row.findings.Add(Severity::Note, "reached through the allocation bitmap only");
        // What is left of a record in free blocks is read as far as it goes: what it lacks is no
        // part of the cache that could not be read.
        for (const Finding& finding : record.findings.All())
            row.findings.Add(record.inFreeBlocks ? Severity::Note : finding.severity, finding.text);
        row.findings.Add(fileProblems);
        listing.rows.push_back(std::move(row));
    }
    AddCacheFindings(listing, problems, "", 0);
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
        HeldFile index;
        if (index.Open(*listed.folder, "index", path + "index") && index.ReadUpTo(4) &&
            IsBlockfileIndexStart(index.Bytes())) {
            listing.isCache = true;
            ListBlockfile(listed, path, std::move(index), listing);
            return listing;
        }
        // An index that will not open may be a blockfile cache's: said, whatever the folder is.
        if (!index.Opened()) listing.problem.Add(Severity::Damaged, "index: " + index.Problem());
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
    for (const std::string& name : listed.files) {
        if (!IsSqlShardName(name)) continue;
        HeldFile shard;
        if (!shard.Open(*listed.folder, name, path + name)) {
            listing.problem.Add(Severity::Damaged, name + ": " + shard.Problem());
            continue;
        }
        if (!shard.ReadUpTo(16) || !IsSqliteDatabaseStart(shard.Bytes())) continue;
        listing.isCache = true;
        shard.ReadWhole();
        listing.problem.Add(Severity::Damaged, shard.Problem().empty() ? std::string() : name + ": " + shard.Problem());
        SqlWal wal = SqlWal::Unknown;
        if (IsSqliteWalMode(shard.Bytes())) {
            SystemError walError;
            const auto walFile = listed.folder->OpenFile(name + "-wal", path + name + "-wal", walError);
            if (walFile ? walFile->Size() == 0 : NoSuchFile(walError)) wal = SqlWal::AbsentOrEmpty;
        }
        const SqlCacheContents contents = ReadSqlCache(shard.Bytes(), name, wal);
        const std::size_t firstRow = listing.rows.size();
        for (const CacheEntry& entry : contents.entries) listing.rows.push_back(RowOf(entry, &shard, name));
        AddCacheFindings(listing, contents.findings, name + ": ", firstRow);
    }
    if (listing.isCache) return listing;
#endif
    bool simple = false, cache2 = false;
    for (const std::string& name : listed.files) {
        simple = simple || IsSimpleEntryName(name);
        cache2 = cache2 || IsCache2EntryFileName(name, Cache2Folder::Entries);
    }
    if (simple) {
        listing.isCache = true;
        for (const std::string& name : listed.files)
            if (IsSimpleEntryName(name))
                ListEntryFile(*listed.folder, path, "", name, CacheFormat::ChromiumSimple, Cache2Folder::Entries, listing);
        AddSimpleLastUsed(volume, *listed.folder, listed, path, listing);
    } else if (cache2) {
        listing.isCache = true;
        for (const std::string& name : listed.files) {
            if (IsCache2EntryFileName(name, Cache2Folder::Entries))
                ListEntryFile(*listed.folder, path, "", name, CacheFormat::FirefoxCache2, Cache2Folder::Entries, listing);
            else
                listing.notEntries.push_back(name);
        }
    }
    return listing;
}

}  // namespace snapsift
