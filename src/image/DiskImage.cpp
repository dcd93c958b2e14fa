#include "image/DiskImage.h"

#include <libewf.h>
#include <sys/stat.h>
#include <tsk/libtsk.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "image/NtfsVolume.h"

namespace snapsift {

struct DiskImage::Handles {
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

// What an E01 image says of itself: the MD5 digest it keeps of its data (lower case; empty
// when none), and whether its segment files are whole. libewf reads a segment set with a
// segment cut short or missing as zeros, so the reads alone do not tell.
struct EwfCheck {
    std::string storedMd5;
    bool whole = false;
};

EwfCheck CheckEwf(TSK_IMG_INFO* image) {
    libewf_handle_t* handle = nullptr;
    libewf_error_t* error = nullptr;
    EwfCheck check;
    if (libewf_handle_initialize(&handle, &error) == 1) {
        if (libewf_handle_open(handle, image->images, image->num_img, LIBEWF_OPEN_READ, &error) == 1) {
            check.whole = libewf_handle_segment_files_corrupted(handle, &error) == 0;
            std::uint8_t text[64] = {};
            if (libewf_handle_get_utf8_hash_value_md5(handle, text, sizeof text, &error) == 1)
                check.storedMd5 = reinterpret_cast<const char*>(text);
            libewf_handle_close(handle, &error);
        }
        libewf_handle_free(&handle, &error);
    }
    if (error != nullptr) libewf_error_free(&error);
    for (char& c : check.storedMd5) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return check;
}

// E01 by its signature, anything else raw (split or not): the formats read here, named to The
// Sleuth Kit so that it tries no other.
TSK_IMG_TYPE_ENUM ImageType(const std::string& path) {
    static constexpr char kEwfSignature[8] = {'E', 'V', 'F', 0x09, 0x0D, 0x0A, static_cast<char>(0xFF), 0x00};
    char start[sizeof kEwfSignature] = {};
    std::ifstream(path, std::ios::binary).read(start, sizeof start);
    return std::equal(start, start + sizeof start, kEwfSignature) ? TSK_IMG_TYPE_EWF_EWF : TSK_IMG_TYPE_RAW;
}

// The partition's file system, or nothing; `truncated` when it reaches past the image's end.
TSK_FS_INFO* OpenFileSystem(TSK_IMG_INFO* image, Partition& partition, bool& truncated) {
    TSK_FS_INFO* fs = tsk_fs_open_img(image, static_cast<TSK_OFF_T>(partition.offset), TSK_FS_TYPE_DETECT);
    if (fs == nullptr) {
        tsk_error_reset();
        return nullptr;
    }
    partition.fileSystem = Upper(tsk_fs_type_toname(fs->ftype));
    if (TSK_FS_TYPE_ISNTFS(fs->ftype)) partition.fileSystem = "NTFS";
    const std::uint64_t end = partition.offset + static_cast<std::uint64_t>(fs->block_count) * fs->block_size;
    if (end > static_cast<std::uint64_t>(image->size)) truncated = true;
    return fs;
}

}  // namespace

DiskImage::~DiskImage() = default;

std::unique_ptr<DiskImage> DiskImage::Open(const std::string& path, std::string& problem) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        problem = "Disk image not found: " + path;
        return nullptr;
    }
    if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        problem = "Not a disk image file: " + path;
        return nullptr;
    }
    std::unique_ptr<DiskImage> disk(new DiskImage);
    disk->handles_ = std::make_shared<Handles>();
    disk->fileName_ = BaseName(path);
    TSK_IMG_INFO* image = tsk_img_open_utf8_sing(path.c_str(), ImageType(path), 0);
    if (image == nullptr) {
        problem = "Cannot read the disk image " + path + ": " + TskProblem();
        return nullptr;
    }
    disk->handles_->image = image;

    disk->facts_.path = path;
    disk->facts_.files = image->num_img;
    for (int i = 0; i < image->num_img; ++i) {
        struct stat segment;
        if (::stat(image->images[i], &segment) == 0) disk->facts_.bytes += static_cast<std::uint64_t>(segment.st_size);
    }
    if (image->itype == TSK_IMG_TYPE_EWF_EWF) {
        const EwfCheck check = CheckEwf(image);
        if (!check.whole) {
            problem = "The E01 image is incomplete or corrupt (a segment file cut short or missing): " + path;
            return nullptr;
        }
        disk->facts_.hasStoredMd5 = true;
        disk->facts_.storedMd5 = check.storedMd5;
    }

    bool truncated = false;
    if (TSK_VS_INFO* table = tsk_vs_open(image, 0, TSK_VS_TYPE_DETECT)) {
        disk->partitionTable_ = true;
        for (TSK_PNUM_T i = 0; i < table->part_count; ++i) {
            const TSK_VS_PART_INFO* part = tsk_vs_part_get(table, i);
            if (part == nullptr || (part->flags & TSK_VS_PART_FLAG_ALLOC) == 0) continue;
            Partition partition;
            partition.number = static_cast<int>(disk->partitions_.size()) + 1;
            partition.offset = static_cast<std::uint64_t>(part->start) * table->block_size;
            partition.size = static_cast<std::uint64_t>(part->len) * table->block_size;
            if (partition.offset + partition.size > static_cast<std::uint64_t>(image->size)) truncated = true;
            disk->handles_->fileSystems.push_back(
                truncated ? nullptr : OpenFileSystem(image, partition, truncated));
            disk->partitions_.push_back(partition);
        }
        tsk_vs_close(table);
    } else {
        tsk_error_reset();
        Partition whole;
        whole.number = 1;
        whole.size = static_cast<std::uint64_t>(image->size);
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
    for (Partition& partition : disk->partitions_) {
        if (!partition.IsNtfs()) continue;
        std::string ignored;
        const std::unique_ptr<Volume> volume = disk->OpenVolume(partition.number, false, ignored);
        partition.hasUsers = volume->FolderExists(volume->DriveRoot() + "\\Users");
        partition.hasDocumentsAndSettings = volume->FolderExists(volume->DriveRoot() + "\\Documents and Settings");
    }
    return disk;
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
        problem = "Partition " + std::to_string(number) + " of the disk image holds no NTFS file system: " + facts_.path;
        return nullptr;
    }
    const std::string driveRoot =
        partitionTable_ ? fileName_ + ", partition " + std::to_string(number) + ": " : fileName_ + ": ";
    return MakeNtfsVolume(handles_, fs, driveRoot, static_cast<std::uint64_t>(number), includeDeleted);
}

std::vector<std::unique_ptr<Volume>> DiskImage::ProfileVolumes(bool includeDeleted) const {
    std::vector<std::unique_ptr<Volume>> volumes;
    for (const Partition& partition : partitions_) {
        if (!partition.IsNtfs() || !partition.HasProfileFolder()) continue;
        std::string problem;  // none: the partition's NTFS was read when the image was opened
        if (std::unique_ptr<Volume> volume = OpenVolume(partition.number, includeDeleted, problem))
            volumes.push_back(std::move(volume));
    }
    return volumes;
}

}  // namespace snapsift
