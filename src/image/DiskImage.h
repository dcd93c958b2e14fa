// A disk image read straight from its files through The Sleuth Kit: raw (dd), split raw
// (.001, .002, ...) or E01, its segments found from the first file. Its partitions, from an
// MBR or GPT table (or the whole image when it holds a bare file system), and the NTFS
// volume of any of them. A truncated image is read as far as it goes: a partition or file
// system that runs past its end reads zeros there, which count as a damaged part.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/ImageDamage.h"
#include "image/UnallocatedSpace.h"
#include "report/ImageFacts.h"
#include "volume/Volume.h"

namespace snapsift {

struct Partition {
    int number = 0;           // 1, 2, ... in the order of the partition table; 1 for a bare file system
    std::uint64_t offset = 0;  // in bytes from the image's start
    std::uint64_t size = 0;    // in bytes
    std::string fileSystem;   // "NTFS", "FAT32", ...; empty where none is recognised
    std::string unreadable;   // why no file system was recognised: The Sleuth Kit's reason, or
                              // "slot lies outside the image" for a slot never read
    bool outside = false;     // a slot that starts at or past the image's end, or whose end overflows
    std::uint64_t missingBytes = 0;  // of a slot that starts inside the image: how many of its bytes, or of
                                     // its file system's where that reaches further, lie past the image's end
    bool hasUsers = false;                 // NTFS with a "Users" folder at its root
    bool hasDocumentsAndSettings = false;  // NTFS with a "Documents and Settings" folder at its root
    bool rootUnreadable = false;  // NTFS whose root folder could not be read: its profile folders are unknown
    bool IsNtfs() const { return fileSystem == "NTFS"; }
    bool HasProfileFolder() const { return hasUsers || hasDocumentsAndSettings; }
    // "runs past the image's end: N bytes missing"; "" when nothing is missing.
    std::string MissingText() const;
};

class DiskImage {
public:
    // Opens the image whose (first) file is at `path`; nothing, with the reason in `problem`,
    // when it is missing, when one of its files is a link, not a regular file or (split raw) of
    // the wrong size, or when it is not an image that holds a partition table or a file system
    // that can be read (a bare NTFS cut short before its MFT: "truncated"). Every file is checked
    // before any is opened. A partition slot that starts outside the image is listed and left
    // alone; one that runs past its end is listed with its missing bytes, and its file system
    // read as far as the image goes.
    static std::unique_ptr<DiskImage> Open(const std::string& path, std::string& problem);
    ~DiskImage();
    DiskImage(const DiskImage&) = delete;
    DiskImage& operator=(const DiskImage&) = delete;

    const std::vector<Partition>& Partitions() const { return partitions_; }
    // False when the image holds a bare file system, not a partition table.
    bool HasPartitionTable() const { return partitionTable_; }
    // The image's file, its size, its number of files, and the MD5 digest an E01 keeps of its data.
    const ImageFacts& Facts() const { return facts_; }
    // What a reader should know of the partition table: partitions that overlap, a GPT that
    // could not be read (only its protective MBR was). One sentence each.
    const std::vector<std::string>& Warnings() const { return warnings_; }
    // The parts of the image read as zeros because they are damaged (E01 chunks that fail their
    // checksum or will not decompress) or missing (what partitions and file systems hold past
    // the end of a truncated image, one part), as the reads meet them; a search of a volume that
    // runs past the end meets the missing part when it opens the volume's root. It lives as long
    // as this object or any volume opened from it.
    const ImageDamage& Damage() const;

    // Reads all of the image's data once, as the volumes read it (through libewf for an E01,
    // the files' bytes for raw), and gives its MD5 and SHA-1 (lower-case hexadecimal), or
    // nothing when `stop` asked it to end early or a read failed. Damaged parts met on the way
    // are counted in Damage().
    struct DataDigests {
        std::string md5, sha1;
        std::string failure;  // why the data could not be read whole; empty when it was
        bool stopped = false;  // stop() said so before the end
    };
    DataDigests DigestData(const std::function<bool()>& stop) const;

    // The NTFS volume of a partition for a search, its paths beginning "case.E01, partition 2: "
    // (for a bare file system "case.img: "); deleted names are listed only with includeDeleted.
    // Nothing, with the reason in `problem`, for a partition that does not exist or holds no
    // NTFS. The volume may outlive this object.
    std::unique_ptr<Volume> OpenVolume(int number, bool includeDeleted, std::string& problem) const;
    // The volumes that a search of the profile folders reads: those of the NTFS partitions that
    // hold "Users" or "Documents and Settings", or whose root folder could not be read, in
    // partition order.
    std::vector<std::unique_ptr<Volume>> ProfileVolumes(bool includeDeleted) const;

    // The unallocated clusters of partition `number`'s NTFS, walked as WalkUnallocatedClusters
    // does; a failure when the partition holds no NTFS that was read.
    UnallocatedWalk WalkUnallocated(int number, std::size_t windowBytes, const UnallocatedReader& read,
                                    const std::function<bool()>& stop) const;

    // The unallocated space of partition `number`, for as long as this object lives.
    UnallocatedArea UnallocatedAreaOf(int number) const;

    struct Handles;

private:
    DiskImage() = default;
    // forSearch: a volume that runs past the image's end counts its missing part as met at each
    // opening of a root (the search reads an incomplete volume); not so for the image's own look
    // for profile folders.
    std::unique_ptr<Volume> VolumeOf(int number, bool includeDeleted, bool forSearch) const;
    std::shared_ptr<Handles> handles_;
    std::vector<Partition> partitions_;
    bool partitionTable_ = false;
    ImageFacts facts_;
    std::vector<std::string> warnings_;
    std::string fileName_;
};

}  // namespace snapsift
