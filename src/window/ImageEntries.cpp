#include "window/ImageEntries.h"

#ifdef SNAPSIFT_IMAGES
#include "image/DiskImage.h"
#endif

namespace snapsift {

#ifdef SNAPSIFT_IMAGES

bool DiskImagesReadable() { return true; }

std::vector<std::unique_ptr<ImageEntry>> OpenImageEntries(const std::string& path, std::string& problem) {
    std::vector<std::unique_ptr<ImageEntry>> entries;
    const std::shared_ptr<DiskImage> disk = DiskImage::Open(path, problem);
    if (!disk) return entries;
    for (std::unique_ptr<Volume>& volume : disk->ProfileVolumes(false)) {
        auto entry = std::make_unique<ImageEntry>();
        // The volume's paths begin "case.E01, partition 2: "; its entry drops the colon.
        std::string root = volume->DriveRoot();
        if (root.ends_with(": ")) root.resize(root.size() - 2);
        entry->text = root + " [NTFS]";
        entry->source = {disk->Facts(), {volume.get()}, [&damage = disk->Damage()] { return damage.Parts(); }};
        entry->withUnallocated = entry->source;
        // The partition is the one whose unallocated space bears the volume's name.
        for (const Partition& partition : disk->Partitions())
            if (UnallocatedArea area = disk->UnallocatedAreaOf(partition.number); area.name + ": " == volume->DriveRoot())
                entry->withUnallocated.unallocated = {std::move(area)};
        entry->image = disk;
        entry->volume = std::move(volume);
        entries.push_back(std::move(entry));
    }
    if (entries.empty())
        problem = "The disk image has no NTFS partition with a \"Users\" or \"Documents and Settings\" folder: " + path;
    return entries;
}

#else

bool DiskImagesReadable() { return false; }

std::vector<std::unique_ptr<ImageEntry>> OpenImageEntries(const std::string& path, std::string& problem) {
    problem = "This build of the program does not read disk images: " + path;
    return {};
}

#endif

}  // namespace snapsift
