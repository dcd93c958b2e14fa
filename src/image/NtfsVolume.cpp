#include "image/NtfsVolume.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <strings.h>
#include <vector>

#include "text/DateTime.h"

namespace snapsift {

RecordMatch MatchRecord(std::uint32_t nameSequence, bool recordAllocated, std::uint32_t recordSequence) {
    if (recordAllocated) return recordSequence == nameSequence ? RecordMatch::Live : RecordMatch::Reused;
    return recordSequence == nameSequence || recordSequence == nameSequence + 1 ? RecordMatch::DeletedIntact
                                                                                : RecordMatch::Reused;
}

namespace {

// Records below this number hold the file system's own files ($MFT, $Bitmap, $Extend, ...):
// passed over, as the ntfs-3g driver hides them.
constexpr TSK_INUM_T kFirstUserRecord = 16;
constexpr std::uint32_t kReparsePointAttribute = 0x400;
constexpr int kAddressBits = 48;  // an MFT reference: record number, then the sequence number above it

struct CloseRecord {
    void operator()(TSK_FS_FILE* file) const { tsk_fs_file_close(file); }
};
using Record = std::unique_ptr<TSK_FS_FILE, CloseRecord>;
struct CloseDirectory {
    void operator()(TSK_FS_DIR* directory) const { tsk_fs_dir_close(directory); }
};
using Directory = std::unique_ptr<TSK_FS_DIR, CloseDirectory>;

// The Sleuth Kit keeps its last failure in a per-thread text; here a failure is a code, and
// the text is cleared so that it never stands for a later one. Nothing when the record could not
// be read (a damaged record: its update sequence, its header or its attributes): never taken
// for a record that another file reused.
Record OpenRecord(TSK_FS_INFO* fs, TSK_INUM_T address) {
    Record record(tsk_fs_file_open_meta(fs, nullptr, address));
    if (!record || record->meta == nullptr || record->meta->attr_state == TSK_FS_META_ATTR_ERROR ||
        tsk_fs_file_attr_getsize(record.get()) < 0) {
        tsk_error_reset();
        return nullptr;
    }
    return record;
}

// A byte range of the image: where a file's bytes are stored.
struct ImageRange {
    std::uint64_t offset, length;
};

// The image ranges of a non-resident attribute's stored runs (sparse runs and fillers hold no
// bytes); false when a run reaches past the volume's end.
bool StoredRanges(const TSK_FS_INFO& fs, const TSK_FS_ATTR& attribute, std::vector<ImageRange>& ranges) {
    for (const TSK_FS_ATTR_RUN* run = attribute.nrd.run; run != nullptr; run = run->next) {
        if ((run->flags & (TSK_FS_ATTR_RUN_FLAG_SPARSE | TSK_FS_ATTR_RUN_FLAG_FILLER)) != 0 || run->len == 0)
            continue;
        if (run->addr >= fs.block_count || run->len > fs.block_count - run->addr) return false;
        ranges.push_back({static_cast<std::uint64_t>(fs.offset) + run->addr * fs.block_size, run->len * fs.block_size});
    }
    return true;
}

Directory OpenDirectory(TSK_FS_INFO* fs, TSK_INUM_T address) {
    Directory directory(tsk_fs_dir_open_meta(fs, address));
    if (!directory) tsk_error_reset();
    return directory;
}

bool IsAllocated(const TSK_FS_META& meta) { return (meta.flags & TSK_FS_META_FLAG_ALLOC) != 0; }

std::uint64_t Little64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

// $STANDARD_INFORMATION: the times as FILETIME counts, and the file attribute flags.
struct StandardInformation {
    std::uint64_t created = 0, modified = 0, accessed = 0;
    std::uint32_t attributes = 0;
};

// From the attribute's value, of 36 bytes at least.
StandardInformation StandardInformationOf(const std::uint8_t* bytes) {
    StandardInformation information;
    information.created = Little64(bytes);
    information.modified = Little64(bytes + 8);
    information.accessed = Little64(bytes + 24);
    information.attributes = static_cast<std::uint32_t>(Little64(bytes + 32) & 0xFFFFFFFFu);
    return information;
}

std::optional<StandardInformation> ReadStandardInformation(TSK_FS_FILE* record) {
    const TSK_FS_ATTR* attribute = tsk_fs_file_attr_get_type(record, TSK_FS_ATTR_TYPE_NTFS_SI, 0, 0);
    constexpr std::size_t kNeeded = 36;
    if (attribute == nullptr || (attribute->flags & TSK_FS_ATTR_RES) == 0 || attribute->rd.buf == nullptr ||
        attribute->rd.buf_size < kNeeded || attribute->size < static_cast<TSK_OFF_T>(kNeeded)) {
        tsk_error_reset();
        return std::nullopt;
    }
    return StandardInformationOf(attribute->rd.buf);
}

bool IsReparsePoint(TSK_FS_FILE* record) {
    const auto information = ReadStandardInformation(record);
    return information && (information->attributes & kReparsePointAttribute) != 0;
}

// The walk's view of a record: reparse points (links, junctions, mount points) are passed
// over, as on the live volume.
EntryKind KindOfRecord(TSK_FS_FILE* record) {
    const TSK_FS_META_TYPE_ENUM type = record->meta->type;
    if (type != TSK_FS_META_TYPE_DIR && type != TSK_FS_META_TYPE_REG) return EntryKind::Other;
    if (IsReparsePoint(record)) return EntryKind::Other;
    return type == TSK_FS_META_TYPE_DIR ? EntryKind::Folder : EntryKind::File;
}

FileIdentity IdentityOfRecord(std::uint64_t volume, const TSK_FS_META& meta) {
    return {volume, (static_cast<std::uint64_t>(meta.seq) << kAddressBits) | meta.addr};
}

// The identity a name gives the record it refers to, the same as the record's own when it matches.
FileIdentity IdentityOfName(std::uint64_t volume, const TSK_FS_NAME& name) {
    return {volume, (static_cast<std::uint64_t>(name.meta_seq) << kAddressBits) | name.meta_addr};
}

bool IsDotName(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// An attribute's type as the record stores it. The Sleuth Kit keeps whatever number the record
// holds in a field of its enumeration type, which a damaged record fills with numbers the type
// does not name: the field is read as its bytes, never as a value of that type.
std::uint32_t TypeOfAttribute(const TSK_FS_ATTR& attribute) {
    std::uint32_t type = 0;
    static_assert(sizeof attribute.type == sizeof type);
    std::memcpy(&type, &attribute.type, sizeof type);
    return type;
}

// The file's default data stream, the unnamed $DATA attribute; alternate streams are other
// attributes of the same type, with names.
const TSK_FS_ATTR* DefaultDataStream(TSK_FS_FILE* record) {
    const int count = tsk_fs_file_attr_getsize(record);
    for (int i = 0; i < count; ++i) {
        const TSK_FS_ATTR* attribute = tsk_fs_file_attr_get_idx(record, i);
        if (attribute != nullptr && TypeOfAttribute(*attribute) == TSK_FS_ATTR_TYPE_NTFS_DATA &&
            (attribute->name == nullptr || attribute->name[0] == '\0'))
            return attribute;
    }
    tsk_error_reset();
    return nullptr;
}

struct VolumeState {
    std::shared_ptr<const void> keepAlive;
    TSK_FS_INFO* fs;
    std::string driveRoot;
    std::uint64_t number;
    bool includeDeleted;
    const ImageDamage* damage;
    std::vector<ImageRange> recordRanges;  // where $MFT, and so every resident file's bytes, is stored
    bool recordRangesKnown;
    Record mft;  // $MFT, through which the bytes of a record that will not open are read
    std::size_t recordSize;
    std::function<void()> rootOpened;
};

// What the bytes of a record that The Sleuth Kit will not open still tell (it refuses a whole
// record for one attribute it finds impossible: a size or a run larger than the volume): whether
// it is in use, its sequence number, its times, and the size and runs of its default data stream.
struct RawRecord {
    bool inUse = false, directory = false;
    std::uint32_t sequence = 0;
    std::optional<StandardInformation> times;
    bool hasData = false, nonResident = false, runBeyondVolume = false;
    std::uint64_t size = 0, allocated = 0;
};

std::uint64_t LittleField(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

// True when a run of the list (a signed cluster offset from the last run's, and a length, each
// of as many bytes as the run's first byte says) lies before the volume's start or past its end.
bool RunBeyondVolume(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t end, std::uint64_t clusters) {
    // Added modulo 2^64: a cluster before the volume's start wraps to a number past its end.
    std::uint64_t cluster = 0;
    while (at < end && bytes[at] != 0) {
        const int lengthBytes = bytes[at] & 0x0F, offsetBytes = bytes[at] >> 4;
        if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8 || at + 1 + lengthBytes + offsetBytes > end) return true;
        const std::uint64_t length = LittleField(bytes, at + 1, lengthBytes);
        if (offsetBytes != 0) {  // none: a sparse run, stored nowhere
            std::uint64_t offset = LittleField(bytes, at + 1 + lengthBytes, offsetBytes);
            if (offsetBytes < 8 && (offset >> (8 * offsetBytes - 1)) != 0) offset |= ~std::uint64_t{0} << (8 * offsetBytes);
            cluster += offset;
            if (cluster >= clusters || length > clusters - cluster) return true;
        }
        at += 1 + static_cast<std::size_t>(lengthBytes + offsetBytes);
    }
    return false;
}

// The record's bytes, read through $MFT, with the real bytes of its sector ends put back from
// the update-sequence array; nothing when they cannot be read or do not match.
std::optional<RawRecord> ReadRawRecord(const VolumeState& volume, TSK_INUM_T address) {
    const std::size_t size = volume.recordSize;
    if (!volume.mft || size < 512 || size % 512 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    const ssize_t got = tsk_fs_file_read(volume.mft.get(), static_cast<TSK_OFF_T>(address * size),
                                         reinterpret_cast<char*>(bytes.data()), size, TSK_FS_FILE_READ_FLAG_NONE);
    tsk_error_reset();
    if (got != static_cast<ssize_t>(size) || std::memcmp(bytes.data(), "FILE", 4) != 0) return std::nullopt;
    const std::size_t array = LittleField(bytes, 4, 2), count = LittleField(bytes, 6, 2);
    if (count != size / 512 + 1 || array + 2 * count > size) return std::nullopt;
    for (std::size_t i = 1; i < count; ++i) {
        std::uint8_t* end = &bytes[i * 512 - 2];
        if (std::memcmp(end, &bytes[array], 2) != 0) return std::nullopt;
        std::memcpy(end, &bytes[array + 2 * i], 2);
    }
    RawRecord record;
    record.sequence = static_cast<std::uint32_t>(LittleField(bytes, 0x10, 2));
    record.inUse = (LittleField(bytes, 0x16, 2) & 1) != 0;
    record.directory = (LittleField(bytes, 0x16, 2) & 2) != 0;
    const std::uint64_t clusters = volume.fs->block_count;
    for (std::size_t at = LittleField(bytes, 0x14, 2); at + 0x18 <= size;) {
        const auto type = static_cast<std::uint32_t>(LittleField(bytes, at, 4));
        const std::size_t length = LittleField(bytes, at + 4, 4);
        if (type == 0xFFFFFFFF || length < 0x18 || at + length > size) break;
        const bool nonResident = bytes[at + 8] != 0, named = bytes[at + 9] != 0;
        if (type == 0x10 && !nonResident) {
            const std::size_t value = at + LittleField(bytes, at + 0x14, 2);
            if (LittleField(bytes, at + 0x10, 4) >= 36 && value + 36 <= at + length)
                record.times = StandardInformationOf(&bytes[value]);
        } else if (type == 0x80 && !named && !record.hasData) {
            record.hasData = true;
            record.nonResident = nonResident;
            if (!nonResident) {
                record.size = LittleField(bytes, at + 0x10, 4);
            } else if (length >= 0x40) {
                record.allocated = LittleField(bytes, at + 0x28, 8);
                record.size = LittleField(bytes, at + 0x30, 8);
                record.runBeyondVolume = RunBeyondVolume(bytes, at + LittleField(bytes, at + 0x20, 2), at + length, clusters);
            }
        }
        at += length;
    }
    return record;
}

class ImageFile final : public VolumeFile {
public:
    ImageFile(const VolumeState& volume, FileState state) : volume_(volume), state_(state) {}

    // Takes the file's record: its times and its default data stream. False, with the code in
    // `error`, when the record holds no regular file with a data stream. A stream whose size or
    // runs no volume of this size can hold is never read: Error() says why from the open on.
    bool Take(Record record, SystemError& error) {
        record_ = std::move(record);
        if (record_->meta->type != TSK_FS_META_TYPE_REG) {
            error.code = record_->meta->type == TSK_FS_META_TYPE_DIR ? EISDIR : EINVAL;
            return false;
        }
        data_ = DefaultDataStream(record_.get());
        if (data_ == nullptr) {
            error.code = EIO;
            return false;
        }
        size_ = data_->size;
        const TSK_FS_INFO& fs = *volume_.fs;
        const auto volumeBytes = static_cast<std::uint64_t>(fs.block_count) * fs.block_size;
        if (size_ < 0 || static_cast<std::uint64_t>(size_) > volumeBytes) {
            error_ = kSizeBeyondVolume;
        } else if ((data_->flags & TSK_FS_ATTR_NONRES) != 0) {
            if (size_ > data_->nrd.allocsize)
                error_ = kSizeBeyondAllocation;
            else if (!StoredRanges(fs, *data_, ranges_))
                error_ = kDataBeyondVolume;
        }
        if (const auto information = ReadStandardInformation(record_.get())) TakeTimes(*information);
        return true;
    }

    void TakeTimes(const StandardInformation& information) {
        const auto created = FileTimeToDate(information.created);
        const auto modified = FileTimeToDate(information.modified);
        const auto accessed = FileTimeToDate(information.accessed);
        if (created && modified && accessed) {
            created_ = *created;
            modified_ = *modified;
            accessed_ = *accessed;
            timesRead_ = true;
        }
    }

    // Takes what a record that The Sleuth Kit would not open tells: its times and the reason no
    // byte of it is read. False when its bytes show no such reason.
    bool TakeRaw(const RawRecord& record) {
        const TSK_FS_INFO& fs = *volume_.fs;
        const auto volumeBytes = static_cast<std::uint64_t>(fs.block_count) * fs.block_size;
        if (!record.hasData) return false;
        if (record.size > volumeBytes)
            error_ = kSizeBeyondVolume;
        else if (record.nonResident && record.size > record.allocated)
            error_ = kSizeBeyondAllocation;
        else if (record.nonResident && record.runBeyondVolume)
            error_ = kDataBeyondVolume;
        else
            return false;
        size_ = static_cast<std::int64_t>(std::min<std::uint64_t>(record.size, INT64_MAX));
        if (record.times) TakeTimes(*record.times);
        return true;
    }

    std::int64_t Size() const override { return size_; }
    bool Times(std::optional<DateTime>& created, DateTime& accessed, DateTime& modified) const override {
        if (!timesRead_) return false;
        created = created_;
        accessed = accessed_;
        modified = modified_;
        return true;
    }
    std::int64_t Read(void* buffer, std::size_t size) override {
        if (error_.code != 0) return -1;
        const auto request = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(std::min<std::size_t>(size, 1 << 30)), size_ - offset_));
        if (request == 0) return 0;
        const ssize_t got = tsk_fs_attr_read(data_, offset_, static_cast<char*>(buffer), request,
                                             TSK_FS_FILE_READ_FLAG_NONE);
        if (got <= 0) {
            tsk_error_reset();
            error_.code = EIO;
            return -1;
        }
        offset_ += got;
        return got;
    }
    // An image is read, never written: what was there at the open is there still.
    bool UnchangedSinceOpen() override { return true; }
    bool AccessTimeKept() const override { return true; }
    SystemError Error() const override { return error_; }
    FileState State() const override { return state_; }
    // Whether the bytes came from a damaged part is known once they were read: a damaged part
    // counts from its first read. A resident stream lives in its record, inside $MFT.
    bool ReadFromDamage() const override {
        if (volume_.damage == nullptr || data_ == nullptr) return false;
        const bool resident = (data_->flags & TSK_FS_ATTR_NONRES) == 0;
        if (resident && !volume_.recordRangesKnown) return volume_.damage->Count() != 0;
        const auto& ranges = (data_->flags & TSK_FS_ATTR_NONRES) != 0 ? ranges_ : volume_.recordRanges;
        return std::any_of(ranges.begin(), ranges.end(), [&](const ImageRange& range) {
            return volume_.damage->Overlaps(range.offset, range.length);
        });
    }

private:
    const VolumeState& volume_;
    FileState state_;
    Record record_;
    std::vector<ImageRange> ranges_;
    const TSK_FS_ATTR* data_ = nullptr;
    std::int64_t size_ = 0, offset_ = 0;
    bool timesRead_ = false;
    DateTime created_, modified_, accessed_;
    SystemError error_;
};

class ImageFolder final : public VolumeFolder {
public:
    ImageFolder(const VolumeState& volume, Directory directory)
        : volume_(volume), directory_(std::move(directory)) {}

    ListingStep Next(std::string_view& name, EntryKind& kind, FileIdentity* folderIdentity) override {
        const std::size_t count = tsk_fs_dir_getsize(directory_.get());
        while (next_ < count) {
            const std::size_t index = next_++;
            const TSK_FS_NAME* entry = tsk_fs_dir_get_name(directory_.get(), index);
            if (entry == nullptr || entry->name == nullptr || IsDotName(entry->name) ||
                entry->meta_addr < kFirstUserRecord || entry->type == TSK_FS_NAME_TYPE_VIRT ||
                entry->type == TSK_FS_NAME_TYPE_VIRT_DIR)
                continue;
            const bool deletedName = (entry->flags & TSK_FS_NAME_FLAG_UNALLOC) != 0;
            if (deletedName && !volume_.includeDeleted) continue;
            if (!deletedName && entry->type == TSK_FS_NAME_TYPE_REG)
                kind = EntryKind::File;  // its record is read when it is opened
            else if (!Classify(*entry, deletedName, kind, folderIdentity))
                continue;
            if (kind == EntryKind::File) files_.push_back(index);
            name = entry->name;
            return ListingStep::Entry;
        }
        return ListingStep::End;
    }

    SystemError Error() const override { return {}; }
    bool AccessTimeKept() const override { return true; }
    // The folder's own record, as its parent's listing names it: how the walk knows a way back.
    std::optional<FileIdentity> Identity() const override {
        const TSK_FS_FILE* self = directory_->fs_file;
        if (self == nullptr || self->meta == nullptr) return std::nullopt;
        return IdentityOfRecord(volume_.number, *self->meta);
    }

    std::unique_ptr<VolumeFile> OpenFile(std::string_view name, const std::string& /*fullPath*/,
                                         SystemError& error) const override {
        const TSK_FS_NAME* entry = FindFile(name);
        if (entry == nullptr) {
            error.code = ENOENT;
            return nullptr;
        }
        const bool deletedName = (entry->flags & TSK_FS_NAME_FLAG_UNALLOC) != 0;
        if (deletedName && !volume_.includeDeleted) {
            error = kNotOnVolume;
            return nullptr;
        }
        Record record = OpenRecord(volume_.fs, entry->meta_addr);
        // A record that cannot be read says nothing of what became of the file: a live name's
        // file is damaged, never taken for a deleted one. Where its bytes still show that it is
        // the named file, its entry has its times and the reason it is not read.
        if (!record) {
            const auto raw = ReadRawRecord(volume_, entry->meta_addr);
            const RecordMatch match = raw ? MatchRecord(entry->meta_seq, raw->inUse, raw->sequence) : RecordMatch::Reused;
            if (raw && !raw->directory && match == (deletedName ? RecordMatch::DeletedIntact : RecordMatch::Live)) {
                auto file = std::make_unique<ImageFile>(volume_, deletedName ? FileState::Deleted : FileState::Present);
                if (file->TakeRaw(*raw)) return file;
            }
            return std::make_unique<ImageFile>(volume_, deletedName ? FileState::DeletedRecordUnreadable
                                                                    : FileState::RecordUnreadable);
        }
        // An index keeps names of files that are gone (in its unused space, or in an index block
        // it no longer uses, whose names may still be marked as in use): what became of the file
        // is told by the record.
        const RecordMatch match = MatchRecord(entry->meta_seq, IsAllocated(*record->meta), record->meta->seq);
        if ((match != RecordMatch::Live && !volume_.includeDeleted) || (match == RecordMatch::Live && deletedName)) {
            error = kNotOnVolume;
            return nullptr;
        }
        if (match == RecordMatch::Reused) return std::make_unique<ImageFile>(volume_, FileState::RecordReused);
        auto file = std::make_unique<ImageFile>(volume_, match == RecordMatch::Live ? FileState::Present : FileState::Deleted);
        if (!file->Take(std::move(record), error)) return nullptr;
        return file;
    }

private:
    // The kind of a folder's entry or of a deleted name, from the record that the name refers
    // to; false for a name to pass over.
    bool Classify(const TSK_FS_NAME& entry, bool deletedName, EntryKind& kind, FileIdentity* folderIdentity) const {
        const Record record = OpenRecord(volume_.fs, entry.meta_addr);
        const RecordMatch match = record ? MatchRecord(entry.meta_seq, IsAllocated(*record->meta), record->meta->seq)
                                         : RecordMatch::Reused;
        if (!deletedName && !record) {
            // A live name whose record cannot be read: damage, never passed over. A folder is
            // given by the name's identity, so that opening it fails and says so; anything else
            // is a file whose entry tells.
            kind = entry.type == TSK_FS_NAME_TYPE_DIR ? EntryKind::Folder : EntryKind::File;
            if (kind == EntryKind::Folder && folderIdentity != nullptr)
                *folderIdentity = IdentityOfName(volume_.number, entry);
            return true;
        }
        if (match == RecordMatch::Live && deletedName) return false;  // the file lives on under another name
        if (match != RecordMatch::Live && !volume_.includeDeleted) return false;
        if (match == RecordMatch::Reused) {
            // What the name stood for is lost with its record: never a folder to enter.
            kind = entry.type == TSK_FS_NAME_TYPE_DIR ? EntryKind::Other : EntryKind::File;
            return true;
        }
        kind = KindOfRecord(record.get());
        if (kind == EntryKind::Folder && folderIdentity != nullptr)
            *folderIdentity = IdentityOfRecord(volume_.number, *record->meta);
        return true;
    }

    // The walk opens the files in the order they were listed: the search starts after the last
    // one opened.
    const TSK_FS_NAME* FindFile(std::string_view name) const {
        for (std::size_t step = 0; step < files_.size(); ++step) {
            const std::size_t at = (opened_ + step) % files_.size();
            const TSK_FS_NAME* entry = tsk_fs_dir_get_name(directory_.get(), files_[at]);
            if (entry != nullptr && entry->name != nullptr && name == entry->name) {
                opened_ = at + 1;
                return entry;
            }
        }
        return nullptr;
    }

    const VolumeState& volume_;
    Directory directory_;
    std::size_t next_ = 0;
    std::vector<std::size_t> files_;  // the directory's indexes of the File entries given out
    mutable std::size_t opened_ = 0;
};

// What a path inside the volume leads to.
struct Found {
    TSK_INUM_T address;
    FileIdentity identity;
    bool folder;
    bool reparsePoint;
};

class NtfsVolume final : public Volume {
public:
    explicit NtfsVolume(VolumeState state) : state_(std::move(state)) {}

    char Separator() const override { return '\\'; }
    std::string DriveRoot() const override { return state_.driveRoot; }

    // Reparse points inside an image lead to paths of the machine it came from: never followed.
    bool FolderExists(const std::string& path) const override {
        const auto found = Resolve(path);
        return found && found->folder && !found->reparsePoint;
    }
    bool IsPlainEntry(const std::string& path) const override {
        const auto found = Resolve(path);
        return found && !found->reparsePoint;
    }

    std::unique_ptr<VolumeFolder> OpenRoot(const std::string& rootPath, SystemError& error) override {
        if (state_.rootOpened) state_.rootOpened();
        const auto found = Resolve(rootPath);
        if (!found || !found->folder || found->reparsePoint) {
            // The file system's own root is always there: not found, its record is damaged.
            const bool volumeRoot = rootPath.starts_with(state_.driveRoot) &&
                                    rootPath.find_first_not_of("\\/", state_.driveRoot.size()) == std::string::npos;
            error.code = !found ? (volumeRoot ? EIO : ENOENT) : found->folder ? ELOOP : ENOTDIR;
            return nullptr;
        }
        return OpenFolder(found->address, error);
    }

    std::unique_ptr<VolumeFolder> OpenBelow(const VolumeFolder& /*root*/, const std::string& /*folderPath*/,
                                            const FileIdentity& expected, SystemError& error) override {
        // The identity names the folder's record: it is opened by that, and must still be the
        // folder that was listed.
        const TSK_INUM_T address = expected.object & ((std::uint64_t{1} << kAddressBits) - 1);
        const Record record = OpenRecord(state_.fs, address);
        if (!record) {
            error.code = EIO;  // its record is damaged
            return nullptr;
        }
        if (record->meta->type != TSK_FS_META_TYPE_DIR ||
            IdentityOfRecord(state_.number, *record->meta) != expected) {
            error.code = kReplacedDuringScan;
            return nullptr;
        }
        return OpenFolder(address, error);
    }

    std::optional<FileIdentity> IdentityOfLocalFolder(const std::string& /*path*/) const override {
        return std::nullopt;
    }

private:
    std::unique_ptr<VolumeFolder> OpenFolder(TSK_INUM_T address, SystemError& error) {
        Directory directory = OpenDirectory(state_.fs, address);
        if (!directory) {
            error.code = EIO;
            return nullptr;
        }
        return std::make_unique<ImageFolder>(state_, std::move(directory));
    }

    // Follows a path down from the file system's root through the names its folders hold now
    // (an exact match first, else one that differs in the case of ASCII letters alone), never
    // through a reparse point.
    std::optional<Found> Resolve(const std::string& path) const {
        if (!path.starts_with(state_.driveRoot)) return std::nullopt;
        std::string_view rest = std::string_view(path).substr(state_.driveRoot.size());
        const Record rootRecord = OpenRecord(state_.fs, state_.fs->root_inum);
        if (!rootRecord) return std::nullopt;
        Found found{state_.fs->root_inum, IdentityOfRecord(state_.number, *rootRecord->meta), true, false};
        while (!rest.empty()) {
            const std::size_t end = std::min(rest.find_first_of("\\/"), rest.size());
            const std::string_view component = rest.substr(0, end);
            rest.remove_prefix(std::min(end + 1, rest.size()));
            if (component.empty()) continue;
            if (!found.folder || found.reparsePoint) return std::nullopt;
            const auto next = Child(found.address, component);
            if (!next) return std::nullopt;
            found = *next;
        }
        return found;
    }

    std::optional<Found> Child(TSK_INUM_T folder, std::string_view name) const {
        const Directory directory = OpenDirectory(state_.fs, folder);
        if (!directory) return std::nullopt;
        const TSK_FS_NAME* match = nullptr;
        const std::string wanted(name);
        for (std::size_t i = 0; i < tsk_fs_dir_getsize(directory.get()); ++i) {
            const TSK_FS_NAME* entry = tsk_fs_dir_get_name(directory.get(), i);
            if (entry == nullptr || entry->name == nullptr || (entry->flags & TSK_FS_NAME_FLAG_ALLOC) == 0 ||
                entry->meta_addr < kFirstUserRecord || IsDotName(entry->name))
                continue;
            if (wanted == entry->name) {
                match = entry;
                break;
            }
            if (match == nullptr && ::strcasecmp(wanted.c_str(), entry->name) == 0) match = entry;
        }
        if (match == nullptr) return std::nullopt;
        const Record record = OpenRecord(state_.fs, match->meta_addr);
        // A live name whose record cannot be read still leads on: opening it fails and says so.
        if (!record)
            return Found{match->meta_addr, IdentityOfName(state_.number, *match), match->type == TSK_FS_NAME_TYPE_DIR, false};
        if (MatchRecord(match->meta_seq, IsAllocated(*record->meta), record->meta->seq) != RecordMatch::Live)
            return std::nullopt;
        return Found{match->meta_addr, IdentityOfRecord(state_.number, *record->meta),
                     record->meta->type == TSK_FS_META_TYPE_DIR, IsReparsePoint(record.get())};
    }

    VolumeState state_;
};

}  // namespace

std::unique_ptr<Volume> MakeNtfsVolume(std::shared_ptr<const void> keepAlive, TSK_FS_INFO* fs,
                                       std::string driveRoot, std::uint64_t number, bool includeDeleted,
                                       const ImageDamage* damage, std::function<void()> rootOpened) {
    VolumeState state{std::move(keepAlive), fs, std::move(driveRoot), number, includeDeleted, damage, {}, false,
                      OpenRecord(fs, 0), 0, std::move(rootOpened)};
    if (state.mft) {
        // The size of a record, from $MFT's own header.
        std::uint8_t header[0x20] = {};
        if (tsk_fs_file_read(state.mft.get(), 0, reinterpret_cast<char*>(header), sizeof header,
                             TSK_FS_FILE_READ_FLAG_NONE) == static_cast<ssize_t>(sizeof header))
            state.recordSize = static_cast<std::size_t>(header[0x1C] | header[0x1D] << 8 | header[0x1E] << 16);
        tsk_error_reset();
        // Where $MFT is stored, when damage may have met it. Unknown where its own record is
        // damaged: then every resident file is taken to come from damage once the image met any.
        if (const TSK_FS_ATTR* data = DefaultDataStream(state.mft.get());
            damage != nullptr && data != nullptr && (data->flags & TSK_FS_ATTR_NONRES) != 0)
            state.recordRangesKnown = StoredRanges(*fs, *data, state.recordRanges);
    }
    return std::make_unique<NtfsVolume>(std::move(state));
}

}  // namespace snapsift
