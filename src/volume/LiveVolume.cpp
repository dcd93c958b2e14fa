#include "volume/LiveVolume.h"

#include "platform/DirectoryListing.h"
#include "platform/EvidenceFile.h"
#include "platform/Paths.h"

namespace snapsift {

namespace {

// An open evidence file as a volume file. The file is a member, not a second allocation, and
// every call goes straight through to it.
class LiveFile final : public VolumeFile {
public:
    EvidenceFile file;

    std::int64_t Size() const override { return file.Size(); }
    bool Times(std::optional<DateTime>& created, DateTime& accessed, DateTime& modified) const override {
        return file.Times(created, accessed, modified);
    }
    std::int64_t Read(void* buffer, std::size_t size) override { return file.Read(buffer, size); }
    bool UnchangedSinceOpen() override { return file.UnchangedSinceOpen(); }
    bool AccessTimeKept() const override { return file.AccessTimeKept(); }
    SystemError Error() const override { return {file.LastError()}; }
};

// An open folder's listing as a volume folder, held the same way.
class LiveFolder final : public VolumeFolder {
public:
    DirectoryListing listing;

    ListingStep Next(std::string_view& name, EntryKind& kind, FileIdentity* folderIdentity) override {
        return listing.Next(name, kind, folderIdentity);
    }
    SystemError Error() const override { return listing.Error(); }
    bool AccessTimeKept() const override { return listing.AccessTimeKept(); }
    std::unique_ptr<VolumeFile> OpenFile(std::string_view name, const std::string& fullPath,
                                         SystemError& error) const override {
        auto live = std::make_unique<LiveFile>();
        if (live->file.Open(listing, name, fullPath)) return live;
        error = {live->file.LastError()};
        return nullptr;
    }
    FolderVersion Version() const override { return listing.Version(); }
    // Only an open folder is handed out, and the open took its identity.
    std::optional<FileIdentity> Identity() const override { return listing.Version().identity; }
    void ReadAhead(std::string_view name) const override { EvidenceFile::ReadAhead(listing, name); }
};

// The live volume hands out LiveFolder folders only, so the folders it is given back are those.
class Live final : public Volume {
public:
    char Separator() const override { return kSeparator; }
    std::string DriveRoot() const override { return {}; }
    bool FolderExists(const std::string& path) const override { return snapsift::FolderExists(path); }
    bool IsPlainEntry(const std::string& path) const override {
        return PathExists(path, true) && !IsLinkOrJunction(path);
    }
    std::unique_ptr<VolumeFolder> OpenRoot(const std::string& rootPath, SystemError& error) override {
        auto folder = std::make_unique<LiveFolder>();
        if (folder->listing.OpenRoot(rootPath)) return folder;
        error = folder->listing.Error();
        return nullptr;
    }
    std::unique_ptr<VolumeFolder> OpenBelow(const VolumeFolder& root, const std::string& folderPath,
                                            const FileIdentity& expected, SystemError& error) override {
        auto folder = std::make_unique<LiveFolder>();
        if (folder->listing.OpenBelow(static_cast<const LiveFolder&>(root).listing, folderPath, expected))
            return folder;
        error = folder->listing.Error();
        return nullptr;
    }
    // A live folder opens its files by name, listed or not.
    std::unique_ptr<VolumeFolder> OpenBelowForFiles(const VolumeFolder& root, const std::string& folderPath,
                                                    const FileIdentity& expected, SystemError& error) override {
        return OpenBelow(root, folderPath, expected, error);
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

}  // namespace snapsift
