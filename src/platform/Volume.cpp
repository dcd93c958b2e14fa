#include "platform/Volume.h"

#include "platform/DirectoryListing.h"
#include "platform/EvidenceFile.h"
#include "platform/Paths.h"

namespace snapsift {

namespace {

// The live volume hands out DirectoryListing folders only, so the folders it is given back
// are those.
class Live final : public Volume {
public:
    char Separator() const override { return kSeparator; }
    std::string DriveRoot() const override { return {}; }
    bool FolderExists(const std::string& path) const override { return snapsift::FolderExists(path); }
    bool IsPlainEntry(const std::string& path) const override {
        return PathExists(path, true) && !IsLinkOrJunction(path);
    }
    std::unique_ptr<VolumeFolder> OpenRoot(const std::string& rootPath, SystemError& error) override {
        auto folder = std::make_unique<DirectoryListing>();
        if (folder->OpenRoot(rootPath)) return folder;
        error = folder->Error();
        return nullptr;
    }
    std::unique_ptr<VolumeFolder> OpenBelow(const VolumeFolder& root, const std::string& folderPath,
                                            const FileIdentity& expected, SystemError& error) override {
        auto folder = std::make_unique<DirectoryListing>();
        if (folder->OpenBelow(static_cast<const DirectoryListing&>(root), folderPath, expected)) return folder;
        error = folder->Error();
        return nullptr;
    }
    std::optional<FileIdentity> IdentityOfLocalFolder(const std::string& path) const override {
        return IdentityOf(path);
    }
    bool ListsAhead() const override { return true; }
#if !defined(_WIN32)
    // Windows has no hint that starts a file's reads without reading it; its own cache reads
    // ahead within a file once the reads are under way.
    bool ReadsFilesAhead() const override { return true; }
#endif
};

}  // namespace

Volume& LiveVolume() {
    static Live live;
    return live;
}

std::unique_ptr<VolumeFile> DirectoryListing::OpenFile(std::string_view name, const std::string& fullPath,
                                                       long& error) const {
    auto file = std::make_unique<EvidenceFile>();
    if (file->Open(*this, name, fullPath)) return file;
    error = file->LastError();
    return nullptr;
}

void DirectoryListing::ReadAhead(std::string_view name) const { EvidenceFile::ReadAhead(*this, name); }

}  // namespace snapsift
