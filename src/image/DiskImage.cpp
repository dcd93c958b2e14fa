#include "image/DiskImage.h"

#include <openssl/evp.h>
#include "text/Hex.h"
#include <tsk/libtsk.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

#include "image/EwfImage.h"
#include "image/ImageSegments.h"
#include "image/NtfsVolume.h"

namespace snapsift {

struct DiskImage::Handles {
    DamageMap damage;             // what the reads met of damaged chunks and of the missing part
    std::unique_ptr<EwfImage> ewf;  // an E01's reader, closed after The Sleuth Kit's image over it
    TSK_IMG_INFO* image = nullptr;
    // The image read on past its end as zeros, as far as the NTFS volumes that run past it reach
    // (with their backup boot sectors); null when none does. Those volumes are read through it.
    TSK_IMG_INFO* extended = nullptr;
    std::vector<TSK_FS_INFO*> fileSystems;  // by partition number - 1; null where none was recognised
    ~Handles() {
        for (TSK_FS_INFO* fs : fileSystems)
            if (fs != nullptr) tsk_fs_close(fs);
        if (extended != nullptr) tsk_img_close(extended);
        if (image != nullptr) tsk_img_close(image);
    }
};

namespace {

// Past any image's end: the size of the unbounded view, and a limit to what a boot sector may claim.
constexpr auto kLargestImage = static_cast<std::uint64_t>(std::numeric_limits<TSK_OFF_T>::max() / 2);

// The Sleuth Kit's words for its last failure, cleared once read.
std::string TskProblem() {
    const char* text = tsk_error_get();
    std::string problem = text != nullptr ? text : "";
    tsk_error_reset();
    while (!problem.empty() && std::isspace(static_cast<unsigned char>(problem.back()))) problem.pop_back();
    return problem;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The partition's file system, or nothing with The Sleuth Kit's reason in partition.unreadable.
// A slot of MBR type 0x07 whose file system is not recognised is read as NTFS before it is given
// up: an NTFS volume that also carries another file system's signature is "multiple file system
// types" to the detection. With ntfsOnly no other type is tried: an NTFS that runs past the
// image's end, where the detection of others would read.
TSK_FS_INFO* OpenFileSystem(TSK_IMG_INFO* image, Partition& partition, bool ntfsType, bool ntfsOnly) {
    const auto offset = static_cast<TSK_OFF_T>(partition.offset);
    TSK_FS_INFO* fs = tsk_fs_open_img(image, offset, ntfsOnly ? TSK_FS_TYPE_NTFS : TSK_FS_TYPE_DETECT);
    if (fs == nullptr) {
        partition.unreadable = TskProblem();
        if (ntfsType && !ntfsOnly) {
            fs = tsk_fs_open_img(image, offset, TSK_FS_TYPE_NTFS);
            if (fs == nullptr) tsk_error_reset();
        }
        if (fs == nullptr) return nullptr;
        partition.unreadable.clear();
    }
    partition.fileSystem = Upper(tsk_fs_type_toname(fs->ftype));
    if (TSK_FS_TYPE_ISNTFS(fs->ftype)) partition.fileSystem = "NTFS";
    return fs;
}

std::uint64_t FileSystemEnd(const TSK_FS_INFO& fs) {
    return static_cast<std::uint64_t>(fs.offset) + static_cast<std::uint64_t>(fs.block_count) * fs.block_size;
}

// How far the NTFS volume whose boot sector is at `offset` reaches, as its boot sector gives its
// size: the end of its sectors (at or past where The Sleuth Kit takes it to end, which counts
// whole clusters only), and of the backup boot sector after them. Both 0 where no NTFS boot
// sector lies whole inside the image, or its size is past any image's.
struct NtfsReach {
    std::uint64_t volumeEnd = 0, backupEnd = 0;
};
NtfsReach ReachOfNtfs(TSK_IMG_INFO* image, std::uint64_t offset) {
    unsigned char boot[512];
    const auto size = static_cast<std::uint64_t>(image->size);
    if (offset >= size || size - offset < sizeof boot) return {};
    if (tsk_img_read(image, static_cast<TSK_OFF_T>(offset), reinterpret_cast<char*>(boot), sizeof boot) !=
        static_cast<ssize_t>(sizeof boot)) {
        tsk_error_reset();
        return {};
    }
    if (std::memcmp(boot + 3, "NTFS    ", 8) != 0) return {};
    const std::uint64_t sectorBytes = boot[0x0B] | boot[0x0C] << 8;
    std::uint64_t sectors = 0;
    for (int i = 7; i >= 0; --i) sectors = (sectors << 8) | boot[0x28 + i];
    if (sectorBytes == 0 || offset > kLargestImage || sectors >= (kLargestImage - offset) / sectorBytes) return {};
    return {offset + sectors * sectorBytes, offset + (sectors + 1) * sectorBytes};
}

// The image read on past its end: `size` bytes long, the bytes past the image's end zeros. With
// `damage`, those bytes are one damaged part, noted at the first read that reaches them.
struct ZeroFilledView {
    TSK_IMG_INFO info;
    TSK_IMG_INFO* image;
    DamageMap* damage;

    static ssize_t Read(TSK_IMG_INFO* view, TSK_OFF_T offset, char* buffer, std::size_t length) {
        const auto* self = reinterpret_cast<ZeroFilledView*>(view);
        const auto imageSize = static_cast<std::uint64_t>(self->image->size), at = static_cast<std::uint64_t>(offset);
        std::fill(buffer, buffer + length, 0);
        if (at < imageSize) {
            const ssize_t read = tsk_img_read(self->image, offset, buffer, std::min<std::uint64_t>(length, imageSize - at));
            if (read < 0) return read;
        }
        if (self->damage != nullptr && at + length > imageSize)
            self->damage->Add(imageSize, static_cast<std::uint64_t>(view->size) - imageSize);
        return static_cast<ssize_t>(length);
    }
    static void Close(TSK_IMG_INFO* view) { delete reinterpret_cast<ZeroFilledView*>(view); }
    static void Stat(TSK_IMG_INFO*, FILE*) {}

    // The view, closed with tsk_img_close before the image; null when The Sleuth Kit cannot make it.
    static TSK_IMG_INFO* Open(TSK_IMG_INFO* image, TSK_OFF_T size, DamageMap* damage) {
        auto* view = new ZeroFilledView{};
        view->image = image;
        view->damage = damage;
        TSK_IMG_INFO* opened = tsk_img_open_external(view, size, image->sector_size, Read, Close, Stat);
        if (opened == nullptr) {
            delete view;
            tsk_error_reset();
        }
        return opened;
    }
};

// The partition table, read through an unbounded view of the image when The Sleuth Kit finds a
// slot starting past its end (which makes it refuse the whole table among the first two slots);
// `view` then holds the view, to be closed after the table. The table is read whole; each slot
// is then judged against the image's real size.
TSK_VS_INFO* OpenPartitionTable(TSK_IMG_INFO* image, TSK_IMG_INFO*& view) {
    view = nullptr;
    if (TSK_VS_INFO* table = tsk_vs_open(image, 0, TSK_VS_TYPE_DETECT)) return table;
    // DETECT tries every table type and keeps no error of its own; the MBR's reader tells why.
    tsk_error_reset();
    if (TSK_VS_INFO* table = tsk_vs_open(image, 0, TSK_VS_TYPE_DOS)) return table;
    const bool slotPastTheEnd = tsk_error_get_errno() == TSK_ERR_VS_BLK_NUM;
    tsk_error_reset();
    if (!slotPastTheEnd) return nullptr;
    view = ZeroFilledView::Open(image, static_cast<TSK_OFF_T>(kLargestImage), nullptr);
    if (view == nullptr) return nullptr;
    TSK_VS_INFO* table = tsk_vs_open(view, 0, TSK_VS_TYPE_DOS);
    if (table == nullptr) {
        tsk_error_reset();
        tsk_img_close(view);
        view = nullptr;
    }
    return table;
}


}  // namespace

DiskImage::~DiskImage() = default;

std::unique_ptr<DiskImage> DiskImage::Open(const std::string& path, std::string& problem) {
    ImageSegments segments;
    if (!FindImageSegments(path, segments, problem)) return nullptr;
    std::unique_ptr<DiskImage> disk(new DiskImage);
    disk->handles_ = std::make_shared<Handles>();
    disk->fileName_ = BaseName(path);
    disk->facts_.path = path;
    disk->facts_.files = static_cast<int>(segments.files.size());
    disk->facts_.bytes = segments.bytes;
    TSK_IMG_INFO* image = nullptr;
    if (segments.ewf) {
        disk->handles_->ewf = EwfImage::Open(segments.files, disk->handles_->damage, problem);
        if (!disk->handles_->ewf) return nullptr;
        const EwfImage& ewf = *disk->handles_->ewf;
        disk->handles_->image = ewf.TskImage();  // closed with the handles from here on
        // libewf reads a segment set with a segment cut short or missing as zeros, so the reads alone do not tell.
        if (ewf.SegmentFilesCorrupted()) {
            problem = "The E01 image is incomplete or corrupt (a segment file cut short or missing): " + path;
            return nullptr;
        }
        disk->facts_.hasStoredMd5 = true;
        disk->facts_.storedMd5 = ewf.StoredMd5();
        disk->facts_.storedSha1 = ewf.StoredSha1();
        image = disk->handles_->image;
    } else {
        // The files named one by one, so that nothing more is looked for (a set of one file The Sleuth
        // Kit looks for again, by the same names).
        std::vector<const char*> names;
        for (const std::string& file : segments.files) names.push_back(file.c_str());
        image = tsk_img_open_utf8(static_cast<int>(names.size()), names.data(), TSK_IMG_TYPE_RAW, 0);
        if (image == nullptr) {
            problem = "Cannot read the disk image " + path + ": " + TskProblem();
            return nullptr;
        }
    }
    disk->handles_->image = image;
    const auto imageSize = static_cast<std::uint64_t>(image->size);

    // The slots first, then their file systems.
    std::vector<bool> ntfsSlots;  // MBR type 0x07, by partition number - 1
    TSK_IMG_INFO* tableView = nullptr;
    if (TSK_VS_INFO* table = OpenPartitionTable(image, tableView)) {
        disk->partitionTable_ = true;
        int protectiveSlots = 0;
        for (TSK_PNUM_T i = 0; i < table->part_count; ++i) {
            const TSK_VS_PART_INFO* part = tsk_vs_part_get(table, i);
            if (part == nullptr || (part->flags & TSK_VS_PART_FLAG_ALLOC) == 0) continue;
            const std::string type = part->desc != nullptr ? part->desc : "";
            Partition partition;
            partition.number = static_cast<int>(disk->partitions_.size()) + 1;
            const auto start = static_cast<std::uint64_t>(part->start), length = static_cast<std::uint64_t>(part->len);
            const std::uint64_t block = table->block_size;
            partition.offset = start * block;
            partition.size = length * block;
            partition.outside = block == 0 || partition.offset / block != start || partition.size / block != length ||
                                partition.offset + partition.size < partition.offset || partition.offset >= imageSize;
            if (partition.outside) partition.unreadable = "slot lies outside the image";
            if (table->vstype == TSK_VS_TYPE_DOS && type.ends_with("(0xee)")) ++protectiveSlots;
            ntfsSlots.push_back(type.ends_with("(0x07)"));
            disk->partitions_.push_back(partition);
        }
        if (protectiveSlots == 1 && disk->partitions_.size() == 1)
            disk->warnings_.push_back("The disk image's GPT could not be read; only its protective MBR was, which "
                                      "shows the whole disk as one slot.");
        tsk_vs_close(table);
        if (tableView != nullptr) tsk_img_close(tableView);
    } else {
        tsk_error_reset();
        Partition whole;
        whole.number = 1;
        whole.size = imageSize;
        ntfsSlots.push_back(false);
        disk->partitions_.push_back(whole);
    }
    // How far each partition reaches: its slot, or its NTFS with the backup boot sector where
    // that goes further. An NTFS whose own sectors run past the image's end is read through the
    // image read on past it, as NTFS alone: detecting other types would read the partition's end,
    // which is missing. Any other file system is read from the image as it is.
    std::vector<NtfsReach> ntfsReaches;  // by partition number - 1
    std::uint64_t ntfsReach = imageSize;
    for (const Partition& partition : disk->partitions_) {
        ntfsReaches.push_back(partition.outside ? NtfsReach{} : ReachOfNtfs(image, partition.offset));
        if (ntfsReaches.back().volumeEnd > imageSize) ntfsReach = std::max(ntfsReach, ntfsReaches.back().backupEnd);
    }
    if (ntfsReach > imageSize)
        disk->handles_->extended = ZeroFilledView::Open(image, static_cast<TSK_OFF_T>(ntfsReach), &disk->handles_->damage);
    for (std::size_t i = 0; i < disk->partitions_.size(); ++i) {
        Partition& partition = disk->partitions_[i];
        TSK_FS_INFO* fs = nullptr;
        if (!partition.outside) {
            const NtfsReach& ntfs = ntfsReaches[i];
            const bool pastTheEnd = ntfs.volumeEnd > imageSize && disk->handles_->extended != nullptr;
            fs = OpenFileSystem(pastTheEnd ? disk->handles_->extended : image, partition, ntfsSlots[i], pastTheEnd);
            const std::uint64_t end = std::max({partition.offset + partition.size, ntfs.backupEnd,
                                                fs != nullptr ? FileSystemEnd(*fs) : 0});
            if (end > imageSize) partition.missingBytes = end - imageSize;
            if (!disk->partitionTable_) partition.size += partition.missingBytes;
        }
        disk->handles_->fileSystems.push_back(fs);
    }
    if (!disk->partitionTable_ && disk->handles_->fileSystems.front() == nullptr) {
        // A bare NTFS whose boot sector says it is longer than the image, cut short before what
        // The Sleuth Kit must read to open it.
        problem = (disk->partitions_.front().missingBytes != 0
                       ? "The disk image is shorter than its partitions say (truncated): "
                       : "Not a disk image with a partition table or a file system that can be read: ") + path;
        return nullptr;
    }
    const std::vector<Partition>& partitions = disk->partitions_;
    for (std::size_t i = 0; i < partitions.size(); ++i)
        for (std::size_t j = i + 1; j < partitions.size(); ++j) {
            const Partition &a = partitions[i], &b = partitions[j];
            if (a.outside || b.outside || a.offset >= b.offset + b.size || b.offset >= a.offset + a.size) continue;
            disk->warnings_.push_back("Partitions " + std::to_string(a.number) + " and " + std::to_string(b.number) +
                                      " of the disk image overlap.");
        }
    for (Partition& partition : disk->partitions_) {
        if (!partition.IsNtfs()) continue;
        const std::unique_ptr<Volume> volume = disk->VolumeOf(partition.number, false, false);
        // The root is read first, and again when that fails: The Sleuth Kit loads what it needs for
        // every folder of the volume at the first folder it reads, and a damaged record met there
        // fails that first read alone.
        SystemError error;
        const std::string root = volume->DriveRoot() + "\\";
        if (!volume->OpenRoot(root, error) && !volume->OpenRoot(root, error)) {
            partition.rootUnreadable = true;
            partition.unreadable = "its root folder could not be read";
            continue;
        }
        partition.hasUsers = volume->FolderExists(volume->DriveRoot() + "\\Users");
        partition.hasDocumentsAndSettings = volume->FolderExists(volume->DriveRoot() + "\\Documents and Settings");
    }
    return disk;
}

const ImageDamage& DiskImage::Damage() const { return handles_->damage; }

DiskImage::DataDigests DiskImage::DigestData(const std::function<bool()>& stop) const {
    // The image is digested with libcrypto: its data is far longer than the report's MD5 engine
    // takes (its bit count stops at 2^28 bytes).
    DataDigests digests;
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> md5(EVP_MD_CTX_new(), EVP_MD_CTX_free),
        sha1(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!md5 || !sha1 || EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestInit_ex(sha1.get(), EVP_sha1(), nullptr) != 1) {
        digests.failure = "no digest engine";
        return digests;
    }
    TSK_IMG_INFO* image = handles_->image;
    std::vector<char> buffer(4 << 20);
    for (TSK_OFF_T offset = 0; offset < image->size;) {
        if (stop && stop()) {
            digests.stopped = true;
            return digests;
        }
        const auto length = static_cast<std::size_t>(std::min<TSK_OFF_T>(image->size - offset, buffer.size()));
        const ssize_t read = tsk_img_read(image, offset, buffer.data(), length);
        if (read <= 0) {
            digests.failure = "cannot read at byte " + std::to_string(offset) + ": " + TskProblem();
            return digests;
        }
        EVP_DigestUpdate(md5.get(), buffer.data(), static_cast<std::size_t>(read));
        EVP_DigestUpdate(sha1.get(), buffer.data(), static_cast<std::size_t>(read));
        offset += read;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(md5.get(), digest, &length);
    digests.md5 = HexText(digest, length, HexCase::Lower);
    EVP_DigestFinal_ex(sha1.get(), digest, &length);
    digests.sha1 = HexText(digest, length, HexCase::Lower);
    return digests;
}

std::string Partition::MissingText() const {
    return missingBytes == 0 ? "" : "runs past the image's end: " + std::to_string(missingBytes) + " bytes missing";
}

std::unique_ptr<Volume> DiskImage::OpenVolume(int number, bool includeDeleted, std::string& problem) const {
    if (number < 1 || number > static_cast<int>(partitions_.size())) {
        problem = "The disk image has no partition " + std::to_string(number) + " (it has " +
                  (partitions_.size() == 1 ? std::string("partition 1 only")
                                           : "partitions 1 to " + std::to_string(partitions_.size())) +
                  "): " + facts_.path;
        return nullptr;
    }
    const Partition& partition = partitions_[static_cast<std::size_t>(number - 1)];
    if (!partition.IsNtfs() || handles_->fileSystems[static_cast<std::size_t>(number - 1)] == nullptr) {
        std::string reason = partition.unreadable;
        if (partition.missingBytes != 0) reason += (reason.empty() ? "" : "; ") + partition.MissingText();
        problem = "Partition " + std::to_string(number) + " of the disk image holds no NTFS file system" +
                  (reason.empty() ? "" : " (" + reason + ")") + ": " + facts_.path;
        return nullptr;
    }
    return VolumeOf(number, includeDeleted, true);
}

std::unique_ptr<Volume> DiskImage::VolumeOf(int number, bool includeDeleted, bool forSearch) const {
    TSK_FS_INFO* fs = handles_->fileSystems[static_cast<std::size_t>(number - 1)];
    const std::string driveRoot =
        partitionTable_ ? fileName_ + ", partition " + std::to_string(number) + ": " : fileName_ + ": ";
    // The missing part is the same one that a read past the image's end meets.
    std::function<void()> rootOpened;
    const auto imageSize = static_cast<std::uint64_t>(handles_->image->size);
    if (forSearch && fs->img_info == handles_->extended && FileSystemEnd(*fs) > imageSize)
        rootOpened = [handles = handles_.get(), imageSize] {
            handles->damage.Add(imageSize, static_cast<std::uint64_t>(handles->extended->size) - imageSize);
        };
    return MakeNtfsVolume(handles_, fs, driveRoot, static_cast<std::uint64_t>(number), includeDeleted,
                          &handles_->damage, std::move(rootOpened));
}

UnallocatedWalk DiskImage::WalkUnallocated(int number, std::size_t windowBytes, const UnallocatedReader& read,
                                           const std::function<bool()>& stop) const {
    TSK_FS_INFO* fs = number >= 1 && number <= static_cast<int>(partitions_.size())
                          ? handles_->fileSystems[static_cast<std::size_t>(number - 1)]
                          : nullptr;
    if (fs == nullptr || !partitions_[static_cast<std::size_t>(number - 1)].IsNtfs()) {
        UnallocatedWalk none;
        none.failure = "partition " + std::to_string(number) + " holds no NTFS file system that could be read";
        return none;
    }
    return WalkUnallocatedClusters(fs, static_cast<std::uint64_t>(fs->offset), windowBytes, read, stop);
}

UnallocatedArea DiskImage::UnallocatedAreaOf(int number) const {
    UnallocatedArea area;
    area.name = partitionTable_ ? fileName_ + ", partition " + std::to_string(number) : fileName_;
    if (number >= 1 && number <= static_cast<int>(partitions_.size()) && partitions_[static_cast<std::size_t>(number - 1)].IsNtfs())
        if (TSK_FS_INFO* fs = handles_->fileSystems[static_cast<std::size_t>(number - 1)]) {
            area.clusterSize = fs->block_size;
            area.bytes = UnallocatedBytes(fs);
        }
    area.walk = [this, number](std::size_t windowBytes, const UnallocatedReader& read, const std::function<bool()>& stop) {
        return WalkUnallocated(number, windowBytes, read, stop);
    };
    area.damaged = [handles = handles_](std::uint64_t offset, std::uint64_t length) {
        return handles->damage.Overlaps(offset, length);
    };
    return area;
}

std::vector<std::unique_ptr<Volume>> DiskImage::ProfileVolumes(bool includeDeleted) const {
    std::vector<std::unique_ptr<Volume>> volumes;
    for (const Partition& partition : partitions_) {
        // A partition whose root could not be read may hold profile folders: its search says so.
        if (!partition.IsNtfs() || !(partition.HasProfileFolder() || partition.rootUnreadable)) continue;
        std::string problem;  // none: the partition's NTFS was read when the image was opened
        if (std::unique_ptr<Volume> volume = OpenVolume(partition.number, includeDeleted, problem))
            volumes.push_back(std::move(volume));
    }
    return volumes;
}

}  // namespace snapsift
