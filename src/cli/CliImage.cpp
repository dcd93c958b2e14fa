#include "cli/CliImage.h"

#include <algorithm>
#include <cstdio>

#include "cli/Console.h"

namespace snapsift::cli {

namespace {

std::string Column(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text + "  ";
}

// A folder argument as a path inside the volume: "\" separated, from its root, without a
// separator at its end ("" for the root itself).
std::string VolumePath(const std::string& argument) {
    std::string path;
    bool separator = true;
    for (const char c : argument) {
        if (c == '\\' || c == '/') {
            separator = true;
            continue;
        }
        if (separator) path += '\\';
        separator = false;
        path += c;
    }
    return path;
}

// What a partition's row adds after its profile folders: why its file system is not read, and
// what the image lacks of it.
std::string Notes(const Partition& partition) {
    std::string notes = partition.unreadable;
    if (partition.missingBytes != 0) notes += (notes.empty() ? "" : "; ") + partition.MissingText();
    return notes.empty() ? "" : "  (" + notes + ")";
}

}  // namespace

int ListPartitions(const std::string& file) {
    std::string problem;
    const std::unique_ptr<DiskImage> disk = DiskImage::Open(file, problem);
    if (!disk) {
        Write(Stream::Err, problem + "\n");
        return 2;
    }
    std::string table = Column("Partition", 9) + Column("Offset", 14) + Column("Size", 14) +
                        Column("File system", 11) + "Profile folders\n";
    for (const Partition& partition : disk->Partitions()) {
        std::string folders = partition.hasUsers ? "Users" : "";
        if (partition.hasDocumentsAndSettings) folders += folders.empty() ? "Documents and Settings" : ", Documents and Settings";
        table += Column(std::to_string(partition.number), 9) + Column(std::to_string(partition.offset), 14) +
                 Column(std::to_string(partition.size), 14) +
                 Column(partition.fileSystem.empty() ? "-" : partition.fileSystem, 11) +
                 (folders.empty() ? "-" : folders) + Notes(partition) + "\n";
    }
    for (const std::string& warning : disk->Warnings()) table += "Warning: " + warning + "\n";
    // The profile folders were looked for through the file systems, which may have met damage.
    const std::uint64_t damaged = disk->Damage().Count();
    if (damaged != 0)
        table += "Warning: damaged parts of the image (read as zeros) were met while reading its partitions: " +
                 std::to_string(damaged) + "; what is listed may be wrong.\n";
    Write(Stream::Out, table);
    const auto rootUnreadable = [](const Partition& partition) { return partition.rootUnreadable; };
    return damaged != 0 || std::ranges::any_of(disk->Partitions(), rootUnreadable) ? 3 : 0;
}

namespace {

bool ChooseVolumes(const ImageChoice& choice, OpenImage& image, std::string& problem, std::vector<int>& searched);

}  // namespace

bool OpenForScan(const ImageChoice& choice, OpenImage& image, std::string& problem) {
    std::vector<int> searched;  // the partitions whose volumes are searched
    if (!ChooseVolumes(choice, image, problem, searched)) return false;
    if (choice.carve)
        for (const int number : searched) image.source.unallocated.push_back(image.disk->UnallocatedAreaOf(number));
    return true;
}

namespace {

bool ChooseVolumes(const ImageChoice& choice, OpenImage& image, std::string& problem, std::vector<int>& searched) {
    image.disk = DiskImage::Open(choice.file, problem);
    if (!image.disk) return false;
    image.source.facts = image.disk->Facts();
    image.source.damagedParts = [&damage = image.disk->Damage()] { return damage.Parts(); };
    for (const std::string& warning : image.disk->Warnings()) Write(Stream::Err, "Warning: " + warning + "\n");
    const std::vector<Partition>& partitions = image.disk->Partitions();
    for (const Partition& partition : partitions)
        if (partition.missingBytes != 0)
            Write(Stream::Err, "Warning: " +
                                   (image.disk->HasPartitionTable()
                                        ? "Partition " + std::to_string(partition.number) + " of the disk image "
                                        : std::string("The disk image's file system ")) +
                                   partition.MissingText() + ".\n");
    const std::string folder = VolumePath(choice.folder) + '\\';
    const auto take = [&](int number) {
        std::unique_ptr<Volume> volume = image.disk->OpenVolume(number, choice.includeDeleted, problem);
        if (!volume) return false;
        image.source.volumes.push_back(volume.get());
        image.volumes.push_back(std::move(volume));
        searched.push_back(number);
        return true;
    };
    if (choice.partition) {
        if (!take(*choice.partition)) return false;
    } else {
        if (std::none_of(partitions.begin(), partitions.end(), [](const Partition& p) { return p.IsNtfs(); })) {
            // Where a partition that runs past the end holds no file system that can be read, the
            // image's end may have taken it.
            const bool cut = std::ranges::any_of(partitions, [](const Partition& p) {
                return p.missingBytes != 0 && p.fileSystem.empty();
            });
            problem = (cut ? "The disk image is shorter than its partitions say (truncated): "
                           : "No NTFS file system in the disk image: ") + choice.file;
            return false;
        }
        if (choice.profiles) {
            image.volumes = image.disk->ProfileVolumes(choice.includeDeleted);
            for (const std::unique_ptr<Volume>& volume : image.volumes) image.source.volumes.push_back(volume.get());
            // The partitions ProfileVolumes chooses, in the same order.
            for (const Partition& partition : partitions)
                if (partition.IsNtfs() && (partition.HasProfileFolder() || partition.rootUnreadable))
                    searched.push_back(partition.number);
            return true;
        }
        for (const Partition& partition : partitions) {
            if (!partition.IsNtfs()) continue;
            if (!take(partition.number)) return false;
            if (image.volumes.back()->FolderExists(image.volumes.back()->DriveRoot() + folder)) break;
            image.source.volumes.pop_back();
            image.volumes.pop_back();
            searched.pop_back();
        }
    }
    if (choice.profiles) return true;
    if (image.volumes.empty() || !image.volumes.front()->FolderExists(image.volumes.front()->DriveRoot() + folder)) {
        problem = "Folder to search not found in the disk image: " + choice.folder;
        return false;
    }
    image.sourceFolder = image.volumes.front()->DriveRoot() + folder;
    return true;
}

}  // namespace

DataCheckOutcome CheckImageData(OpenImage& image, const std::function<bool()>& stop) {
    ImageFacts& facts = image.source.facts;
    const DiskImage::DataDigests digests = image.disk->DigestData(stop);
    if (digests.stopped) return DataCheckOutcome::Stopped;
    if (!digests.failure.empty()) {
        facts.dataCheck = ImageFacts::DataCheck::Unreadable;
        Write(Stream::Out, "The image's data could not be read whole, so it was not checked: " + digests.failure + "\n");
        return DataCheckOutcome::Incomplete;
    }
    facts.dataMd5 = digests.md5;
    facts.dataSha1 = digests.sha1;
    std::string line = "Image data: MD5 " + digests.md5;
    if (!facts.storedMd5.empty()) {
        facts.dataCheck = facts.storedMd5 == digests.md5 ? ImageFacts::DataCheck::Matches : ImageFacts::DataCheck::DoesNotMatch;
        line += facts.dataCheck == ImageFacts::DataCheck::Matches ? ", the MD5 stored in the image: it matches"
                                                                  : "; the image stores MD5 " + facts.storedMd5 + ": it does NOT match";
    } else if (!facts.storedSha1.empty()) {
        facts.dataCheck = facts.storedSha1 == digests.sha1 ? ImageFacts::DataCheck::Matches : ImageFacts::DataCheck::DoesNotMatch;
        line += ", SHA-1 " + digests.sha1 +
                (facts.dataCheck == ImageFacts::DataCheck::Matches ? ", the SHA-1 stored in the image: it matches"
                                                                   : "; the image stores SHA-1 " + facts.storedSha1 + ": it does NOT match");
    } else {
        facts.dataCheck = ImageFacts::DataCheck::NothingStored;
        line += "; the image stores no digest, so it could not be checked";
    }
    Write(Stream::Out, line + "\n");
    const std::uint64_t damaged = image.disk->Damage().Count();
    if (damaged != 0)
        Write(Stream::Out, "Damaged parts of the image met while reading it (read as zeros): " + std::to_string(damaged) + "\n");
    return facts.dataCheck == ImageFacts::DataCheck::DoesNotMatch || damaged != 0 ? DataCheckOutcome::Incomplete
                                                                                   : DataCheckOutcome::Checked;
}

}  // namespace snapsift::cli
