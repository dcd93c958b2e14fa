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
                 (folders.empty() ? "-" : folders) + "\n";
    }
    Write(Stream::Out, table);
    return 0;
}

bool OpenForScan(const ImageChoice& choice, OpenImage& image, std::string& problem) {
    image.disk = DiskImage::Open(choice.file, problem);
    if (!image.disk) return false;
    image.source.facts = image.disk->Facts();
    const std::string folder = VolumePath(choice.folder) + '\\';
    const auto take = [&](int number) {
        std::unique_ptr<Volume> volume = image.disk->OpenVolume(number, choice.includeDeleted, problem);
        if (!volume) return false;
        image.source.volumes.push_back(volume.get());
        image.volumes.push_back(std::move(volume));
        return true;
    };
    if (choice.partition) {
        if (!take(*choice.partition)) return false;
    } else {
        const std::vector<Partition>& partitions = image.disk->Partitions();
        if (std::none_of(partitions.begin(), partitions.end(), [](const Partition& p) { return p.IsNtfs(); })) {
            problem = "No NTFS file system in the disk image: " + choice.file;
            return false;
        }
        if (choice.profiles) {
            image.volumes = image.disk->ProfileVolumes(choice.includeDeleted);
            for (const std::unique_ptr<Volume>& volume : image.volumes) image.source.volumes.push_back(volume.get());
            return true;
        }
        for (const Partition& partition : partitions) {
            if (!partition.IsNtfs()) continue;
            if (!take(partition.number)) return false;
            if (image.volumes.back()->FolderExists(image.volumes.back()->DriveRoot() + folder)) break;
            image.source.volumes.pop_back();
            image.volumes.pop_back();
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

}  // namespace snapsift::cli
