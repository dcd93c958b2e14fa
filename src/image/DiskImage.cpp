#include "image/DiskImage.h"

#include <openssl/evp.h>
#include <tsk/libtsk.h>

#include <algorithm>
#include <cctype>
#include <limits>

#include "image/EwfImage.h"
#include "image/ImageSegments.h"
#include "image/NtfsVolume.h"

namespace snapsift {

struct DiskImage::Handles {
    DamageMap damage;             // empty for a raw image
    std::unique_ptr<EwfImage> ewf;  // an E01's reader, closed after The Sleuth Kit's image over it
    TSK_IMG_INFO* image = nullptr;
    std::vector<TSK_FS_INFO*> fileSystems;  // by partition number - 1; null where none was recognised
    ~Handles() {
        for (TSK_FS_INFO* fs : fileSystems)
            if (fs != nullptr) tsk_fs_close(fs);
        if (image != nullptr) tsk_img_close(image);
    }
};

namespace {

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

// The partition's file system, or nothing with The Sleuth Kit's reason in partition.unreadable;
// `truncated` when it reaches past the image's end. A slot of MBR type 0x07 whose file system
// is not recognised is read as NTFS before it is given up: an NTFS volume that also carries
// another file system's signature is "multiple file system types" to the detection.
TSK_FS_INFO* OpenFileSystem(TSK_IMG_INFO* image, Partition& partition, bool& truncated, bool ntfsType = false) {
    const auto offset = static_cast<TSK_OFF_T>(partition.offset);
    TSK_FS_INFO* fs = tsk_fs_open_img(image, offset, TSK_FS_TYPE_DETECT);
    if (fs == nullptr) {
        partition.unreadable = TskProblem();
        if (ntfsType) {
            fs = tsk_fs_open_img(image, offset, TSK_FS_TYPE_NTFS);
            if (fs == nullptr) tsk_error_reset();
        }
        if (fs == nullptr) return nullptr;
        partition.unreadable.clear();
    }
    partition.fileSystem = Upper(tsk_fs_type_toname(fs->ftype));
    if (TSK_FS_TYPE_ISNTFS(fs->ftype)) partition.fileSystem = "NTFS";
    const std::uint64_t end = partition.offset + static_cast<std::uint64_t>(fs->block_count) * fs->block_size;
    if (end > static_cast<std::uint64_t>(image->size)) truncated = true;
    return fs;
}

// The image as the partition table's reader sees it once a slot among the first two starts past
// the image's end (which makes The Sleuth Kit refuse the whole table): as long as any address
// it can hold, the bytes past the end zeros. The table is read whole; each slot is then judged
// against the image's real size.
struct UnboundedView {
    TSK_IMG_INFO info;
    TSK_IMG_INFO* image;

    static ssize_t Read(TSK_IMG_INFO* view, TSK_OFF_T offset, char* buffer, std::size_t length) {
        TSK_IMG_INFO* image = reinterpret_cast<UnboundedView*>(view)->image;
        std::fill(buffer, buffer + length, 0);
        if (offset >= image->size) return static_cast<ssize_t>(length);
        const ssize_t read = tsk_img_read(image, offset, buffer, std::min<std::size_t>(length, image->size - offset));
        return read < 0 ? read : static_cast<ssize_t>(length);
    }
    static void Close(TSK_IMG_INFO* view) { delete reinterpret_cast<UnboundedView*>(view); }
    static void Stat(TSK_IMG_INFO*, FILE*) {}
};

// The partition table, read through an unbounded view of the image when The Sleuth Kit finds a
// slot starting past its end; `view` then holds the view, to be closed after the table.
TSK_VS_INFO* OpenPartitionTable(TSK_IMG_INFO* image, TSK_IMG_INFO*& view) {
    view = nullptr;
    if (TSK_VS_INFO* table = tsk_vs_open(image, 0, TSK_VS_TYPE_DETECT)) return table;
    // DETECT tries every table type and keeps no error of its own; the MBR's reader tells why.
    tsk_error_reset();
    if (TSK_VS_INFO* table = tsk_vs_open(image, 0, TSK_VS_TYPE_DOS)) return table;
    const bool slotPastTheEnd = tsk_error_get_errno() == TSK_ERR_VS_BLK_NUM;
    tsk_error_reset();
    if (!slotPastTheEnd) return nullptr;
    auto* unbounded = new UnboundedView{};
    unbounded->image = image;
    view = tsk_img_open_external(unbounded, std::numeric_limits<TSK_OFF_T>::max() / 2, image->sector_size,
                                 UnboundedView::Read, UnboundedView::Close, UnboundedView::Stat);
    if (view == nullptr) {
        delete unbounded;
        tsk_error_reset();
        return nullptr;
    }
    TSK_VS_INFO* table = tsk_vs_open(view, 0, TSK_VS_TYPE_DOS);
    if (table == nullptr) {
        tsk_error_reset();
        tsk_img_close(view);
        view = nullptr;
    }
    return table;
}

std::string Hex(const unsigned char* bytes, unsigned length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < length; ++i) text += {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
    return text;
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

    bool truncated = false;
    TSK_IMG_INFO* view = nullptr;
    if (TSK_VS_INFO* table = OpenPartitionTable(image, view)) {
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
            if (table->vstype == TSK_VS_TYPE_DOS && type.ends_with("(0xee)")) ++protectiveSlots;
            TSK_FS_INFO* fs = nullptr;
            if (partition.outside) {
                partition.unreadable = "slot lies outside the image";
            } else if (partition.offset + partition.size > imageSize) {
                truncated = true;
            } else {
                fs = OpenFileSystem(image, partition, truncated, type.ends_with("(0x07)"));
            }
            disk->handles_->fileSystems.push_back(fs);
            disk->partitions_.push_back(partition);
        }
        if (protectiveSlots == 1 && disk->partitions_.size() == 1)
            disk->warnings_.push_back("The disk image's GPT could not be read; only its protective MBR was, which "
                                      "shows the whole disk as one slot.");
        tsk_vs_close(table);
        if (view != nullptr) tsk_img_close(view);
    } else {
        tsk_error_reset();
        Partition whole;
        whole.number = 1;
        whole.size = imageSize;
        TSK_FS_INFO* fs = OpenFileSystem(image, whole, truncated);
        if (fs == nullptr) {
            problem = "Not a disk image with a partition table or a file system that can be read: " + path;
            return nullptr;
        }
        disk->handles_->fileSystems.push_back(fs);
        disk->partitions_.push_back(whole);
    }
    if (truncated) {
        problem = "The disk image is shorter than its partitions say (truncated): " + path;
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
        std::string ignored;
        const std::unique_ptr<Volume> volume = disk->OpenVolume(partition.number, false, ignored);
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
    digests.md5 = Hex(digest, length);
    EVP_DigestFinal_ex(sha1.get(), digest, &length);
    digests.sha1 = Hex(digest, length);
    return digests;
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
    TSK_FS_INFO* fs = handles_->fileSystems[static_cast<std::size_t>(number - 1)];
    if (!partition.IsNtfs() || fs == nullptr) {
        problem = "Partition " + std::to_string(number) + " of the disk image holds no NTFS file system" +
                  (partition.unreadable.empty() ? "" : " (" + partition.unreadable + ")") + ": " + facts_.path;
        return nullptr;
    }
    const std::string driveRoot =
        partitionTable_ ? fileName_ + ", partition " + std::to_string(number) + ": " : fileName_ + ": ";
    return MakeNtfsVolume(handles_, fs, driveRoot, static_cast<std::uint64_t>(number), includeDeleted,
                          &handles_->damage);
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
