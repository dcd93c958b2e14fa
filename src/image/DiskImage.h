// A disk image read straight from its files through The Sleuth Kit: raw (dd), split raw
// (.001, .002, ...) or E01, its segments found from the first file. Its partitions, from an
// MBR or GPT table (or the whole image when it holds a bare file system), and the NTFS
// volume of any of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "report/ImageFacts.h"
#include "volume/Volume.h"

namespace snapsift {

struct Partition {
    int number = 0;           // 1, 2, ... in the order of the partition table; 1 for a bare file system
    std::uint64_t offset = 0;  // in bytes from the image's start
    std::uint64_t size = 0;    // in bytes
    std::string fileSystem;   // "NTFS", "FAT32", ...; empty where none is recognised
    bool hasUsers = false;                 // NTFS with a "Users" folder at its root
    bool hasDocumentsAndSettings = false;  // NTFS with a "Documents and Settings" folder at its root
    bool IsNtfs() const { return fileSystem == "NTFS"; }
    bool HasProfileFolder() const { return hasUsers || hasDocumentsAndSettings; }
};

class DiskImage {
public:
    // Opens the image whose (first) file is at `path`; nothing, with the reason in `problem`,
    // when it is missing, is not an image that holds a partition table or a file system, or is
    // shorter than its partitions or file systems say (truncated).
    static std::unique_ptr<DiskImage> Open(const std::string& path, std::string& problem);
    ~DiskImage();
    DiskImage(const DiskImage&) = delete;
    DiskImage& operator=(const DiskImage&) = delete;

    const std::vector<Partition>& Partitions() const { return partitions_; }
    // False when the image holds a bare file system, not a partition table.
    bool HasPartitionTable() const { return partitionTable_; }
    // The image's file, its size, its number of files, and the MD5 digest an E01 keeps of its data.
    const ImageFacts& Facts() const { return facts_; }

    // The NTFS volume of a partition, its paths beginning "case.E01, partition 2: " (for a bare
    // file system "case.img: "); deleted names are listed only with includeDeleted. Nothing,
    // with the reason in `problem`, for a partition that does not exist or holds no NTFS. The
    // volume may outlive this object.
    std::unique_ptr<Volume> OpenVolume(int number, bool includeDeleted, std::string& problem) const;
    // The volumes that a search of the profile folders reads: those of the NTFS partitions that
    // hold "Users" or "Documents and Settings", in partition order.
    std::vector<std::unique_ptr<Volume>> ProfileVolumes(bool includeDeleted) const;

    struct Handles;

private:
    DiskImage() = default;
    std::shared_ptr<Handles> handles_;
    std::vector<Partition> partitions_;
    bool partitionTable_ = false;
    ImageFacts facts_;
    std::string fileName_;
};

}  // namespace snapsift
