// The file system that a scan reads, chosen at run time: the machine's own (the live volume),
// or one inside a disk image. The walk reaches folders, and the evidence entry files, only
// through these interfaces; an open folder opens the files it listed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileIdentity.h"
#include "text/DateTime.h"
#include "platform/SystemError.h"

namespace snapsift {

// What a file that a listing named turned out to be. Only a disk image keeps deleted names.
enum class FileState {
    Present,       // a file of the volume
    Deleted,       // a deleted file whose record still describes it; its content may be partly overwritten
    RecordReused,  // a deleted name whose record now belongs to another file: no times, no content
    RecordUnreadable,  // the name's record could not be read (damaged): no times, no content
    DeletedRecordUnreadable,  // a deleted name whose record could not be read: no times, no content
};

// One open file, all of an entry's evidence read from it.
class VolumeFile {
public:
    virtual ~VolumeFile() = default;
    // The size at the open; reads stop there.
    virtual std::int64_t Size() const = 0;
    // The times as they were at the open: created (empty where the file system keeps none),
    // last accessed, last modified. False when they could not be read or fall outside the
    // years 100 to 9999.
    virtual bool Times(std::optional<DateTime>& created, DateTime& accessed, DateTime& modified) const = 0;
    // Reads on from the last read, up to size bytes but never past Size(): 0 there, -1 on error.
    virtual std::int64_t Read(void* buffer, std::size_t size) = 0;
    // True when the file's size and modification time are still those of the open.
    virtual bool UnchangedSinceOpen() = 0;
    // False when the system would only let this file be read in a way that moves its
    // last-access time.
    virtual bool AccessTimeKept() const = 0;
    // The last failure; a code of 0 when none.
    virtual SystemError Error() const = 0;
    virtual FileState State() const { return FileState::Present; }
    // True when some of the bytes read so far came from a damaged part of a disk image (a chunk
    // that failed its checksum or would not decompress), which was read as zeros.
    virtual bool ReadFromDamage() const { return false; }
};

// An open folder and its listing, in the order the file system keeps it.
class VolumeFolder {
public:
    virtual ~VolumeFolder() = default;
    // The next entry other than "." and "..": its name (valid until the next call) and kind; or
    // the end; or the failure that ends the listing early. After End or Failed every further
    // call gives the same. For a Folder entry, when folderIdentity is given, it receives that
    // folder's identity.
    virtual ListingStep Next(std::string_view& name, EntryKind& kind, FileIdentity* folderIdentity = nullptr) = 0;
    // The failure behind a Failed step.
    virtual SystemError Error() const = 0;
    // False when this folder could only be listed in a way that moves its last-access time.
    virtual bool AccessTimeKept() const = 0;
    // Opens the regular file `name` that this folder listed; fullPath is the whole path text of
    // the same file. Nothing on failure, with the reason in `error` (kNotOnVolume: the name
    // stands for no file, and the file has no entry).
    virtual std::unique_ptr<VolumeFile> OpenFile(std::string_view name, const std::string& fullPath,
                                                 SystemError& error) const = 0;
    // When the folder was opened, what tells a later open whether its entries changed since.
    virtual FolderVersion Version() const { return {}; }
    // Which folder of the volume this is, as a listing of its parent gives a subfolder's
    // identity; nothing where the volume cannot tell.
    virtual std::optional<FileIdentity> Identity() const { return std::nullopt; }
    // Asks the system to start reading the regular file `name` that this folder listed, opened
    // as OpenFile opens it, so that its bytes are on their way before they are read. A hint only:
    // nothing is read here, no time of the file moves, and failures are passed over.
    virtual void ReadAhead(std::string_view /*name*/) const {}
};

// The failure of a name that a listing gave but that stands for no file of the volume (an index
// entry a disk image kept after its file went, read without deleted files). Its code is the
// program's own; no system uses negative codes.
inline constexpr SystemError kNotOnVolume{-1002};

// Why a file of a disk image's volume gives no bytes, known at its open from its damaged record:
// VolumeFile::Error() holds the code from then on and every read fails with it; nothing is read.
inline constexpr SystemError kSizeBeyondVolume{-1011};      // its size exceeds the whole volume
inline constexpr SystemError kSizeBeyondAllocation{-1012};  // its size exceeds the clusters given to it
inline constexpr SystemError kDataBeyondVolume{-1013};      // a run of its data lies past the volume's end

class Volume {
public:
    virtual ~Volume() = default;
    // The separator between the names of a path on this volume.
    virtual char Separator() const = 0;
    // The text that begins every path on the volume, before the separator of its top folder: a
    // disk image's "case.E01, partition 2: "; empty for the live volume, whose drive is chosen.
    virtual std::string DriveRoot() const = 0;
    // True when a folder, or (on the live volume) a link or junction that leads to one, is at
    // the path.
    virtual bool FolderExists(const std::string& path) const = 0;
    // True when something is at the path and it is no link, junction or mount point.
    virtual bool IsPlainEntry(const std::string& path) const = 0;
    // Opens a search root by its path (ending in the separator). Nothing on failure, with the
    // reason in `error`. A link at the live root itself is followed: the examiner chose it.
    virtual std::unique_ptr<VolumeFolder> OpenRoot(const std::string& rootPath, SystemError& error) = 0;
    // Opens a folder below an open root of this volume. folderPath is the root's path followed
    // by the names that lead down to the folder, each ending in the separator. No link on the
    // way is followed, and the folder opened must be `expected`, the folder that its parent
    // listed; one put in its place since fails with kReplacedDuringScan.
    virtual std::unique_ptr<VolumeFolder> OpenBelow(const VolumeFolder& root, const std::string& folderPath,
                                                    const FileIdentity& expected, SystemError& error) = 0;
    // Opens again, for its files alone, a folder below an open root that a walk entered before:
    // OpenBelow's rules, and the folder's OpenFile then opens any regular file the folder holds,
    // without the caller listing it. Where a volume's folders open only the files they have
    // listed, the folder is listed through first.
    virtual std::unique_ptr<VolumeFolder> OpenBelowForFiles(const VolumeFolder& root, const std::string& folderPath,
                                                            const FileIdentity& expected, SystemError& error) {
        std::unique_ptr<VolumeFolder> folder = OpenBelow(root, folderPath, expected, error);
        if (!folder) return nullptr;
        std::string_view name;
        EntryKind kind;
        while (folder->Next(name, kind) == ListingStep::Entry) {
        }
        return folder;
    }
    // The identity on this volume of a folder of the machine's own file system (the run's
    // output folder, never to be walked); nothing where no such folder can lie on the volume.
    virtual std::optional<FileIdentity> IdentityOfLocalFolder(const std::string& path) const = 0;
    // True when folders of this volume may be opened and listed on other threads while a walk
    // goes on, ahead of it.
    virtual bool ListsAhead() const { return false; }
    // True when VolumeFolder::ReadAhead starts a file's reads; where it does nothing, no folder
    // is opened for it.
    virtual bool ReadsFilesAhead() const { return false; }
};

}  // namespace snapsift
