#include "search/FolderWalk.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Volume.h"
#include "platform/Paths.h"
#include "search/FolderReadAhead.h"
#include "search/Recognition.h"

namespace snapsift {

namespace {

// The names of a folder's regular files in listing order, packed into one buffer so that a
// folder with many files costs two allocations, not one per file.
class FileNames {
public:
    void Clear() {
        text_.clear();
        ends_.clear();
    }
    void Add(std::string_view name) {
        text_.append(name);
        ends_.push_back(text_.size());
    }
    std::size_t Count() const { return ends_.size(); }
    std::string_view operator[](std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }

private:
    std::string text_;
    std::vector<std::size_t> ends_;
};

// Reads one open folder in a single pass: its subfolders go to the queue (when one is kept;
// never the run's own output folder), its regular files to `files`; links and special files
// are passed over. What was read before a failure is kept, and the failure goes to the host.
void ReadFolder(SearchHost& host, VolumeFolder& listing, const std::string& folder, char separator,
                std::deque<QueuedFolder>* queue, const std::optional<FileIdentity>& skip, FileNames& files) {
    files.Clear();
    if (!listing.AccessTimeKept()) host.AccessTimeNotKept(folder);
    std::string_view name;
    EntryKind kind;
    FileIdentity identity;
    ListingStep step;
    while ((step = listing.Next(name, kind, queue != nullptr ? &identity : nullptr)) == ListingStep::Entry) {
        if (kind == EntryKind::File) {
            files.Add(name);
        } else if (kind == EntryKind::Folder && queue != nullptr && identity != skip) {
            QueuedFolder& sub = queue->emplace_back();
            sub.path.reserve(folder.size() + name.size() + 1);
            sub.path.append(folder).append(name).push_back(separator);
            sub.identity = identity;
        }
    }
    if (step == ListingStep::Failed) host.FolderUnreadable(folder, listing.Error());
}

// The files of one folder, each: abort test, path shown, yield, name filter and, on a match,
// ProcessCandidate. False when the walk was aborted.
bool ExamineFiles(const bool& abortRequested, SearchHost& host, CandidateHandler& handler,
                  const VolumeFolder& listing, const std::string& folder, const FileNames& files,
                  FolderReadAhead* readAhead = nullptr) {
    std::string fullPath = folder;
    for (std::size_t i = 0; i < files.Count(); ++i) {
        if (abortRequested) return false;
        const std::string_view name = files[i];
        fullPath.resize(folder.size());
        fullPath.append(name);
        host.ShowPath(fullPath);
        host.Yield();
        if (const auto nameStyle = NameFilter(name)) {
            if (readAhead != nullptr) readAhead->Reached();
            try {
                handler.ProcessCandidate(listing, fullPath, std::string(name), *nameStyle);
            } catch (...) {
                // A failure inside one file's processing never stops the walk.
            }
        }
    }
    return true;
}

// The path with the volume's separator at its end: on the live volume as AddBackslash makes it.
std::string FolderPath(const Volume& volume, const std::string& path) {
    const char separator = volume.Separator();
    if (separator == kSeparator) return AddBackslash(path);
    return path.ends_with(separator) ? path : path + separator;
}

}  // namespace

unsigned DefaultReadAheadHelpers() {
    constexpr unsigned kHelpers = 8;
    const char* text = std::getenv("SNAPSIFT_READ_AHEAD");
    if (text == nullptr || *text == '\0') return kHelpers;
    char* end = nullptr;
    const unsigned long helpers = std::strtoul(text, &end, 10);
    return *end == '\0' ? static_cast<unsigned>(std::min(helpers, 64ul)) : kHelpers;
}

// The root stays open for the whole walk; every folder below it is opened through it, so that
// no link on the way is followed and the depth of the tree does not matter.
void FolderWalk::SearchFolderTree(const std::string& rootPath) {
    if (!volume_.FolderExists(rootPath)) return;
    const std::string rootFolder = FolderPath(volume_, rootPath);
    const char separator = volume_.Separator();
    FileNames files;
    std::deque<QueuedFolder> queue;
    SystemError error;
    const std::unique_ptr<VolumeFolder> root = volume_.OpenRoot(rootFolder, error);
    if (!root) {
        host_.FolderUnreadable(rootFolder, error);
        return;
    }
    ReadFolder(host_, *root, rootFolder, separator, &queue, skip_, files);
    std::optional<FolderReadAhead> readAhead;
    if (helpers_ > 0 && volume_.ListsAhead() && !queue.empty())
        readAhead.emplace(volume_, *root, separator, skip_, queue, helpers_);
    if (!ExamineFiles(abortRequested_, host_, handler_, *root, rootFolder, files)) return;
    while (!queue.empty()) {
        const QueuedFolder folder = std::move(queue.front());
        queue.pop_front();
        const std::unique_ptr<VolumeFolder> listing =
            readAhead ? readAhead->Open(folder, error) : volume_.OpenBelow(*root, folder.path, folder.identity, error);
        if (!listing) {
            host_.FolderUnreadable(folder.path, error);
            continue;
        }
        ReadFolder(host_, *listing, folder.path, separator, &queue, skip_, files);
        if (!ExamineFiles(abortRequested_, host_, handler_, *listing, folder.path, files,
                          readAhead ? &*readAhead : nullptr))
            return;
    }
}

void FolderWalk::SearchFolder(const std::string& rootPath) {
    if (!volume_.FolderExists(rootPath)) return;
    const std::string folder = FolderPath(volume_, rootPath);
    FileNames files;
    SystemError error;
    const std::unique_ptr<VolumeFolder> listing = volume_.OpenRoot(folder, error);
    if (!listing) {
        host_.FolderUnreadable(folder, error);
        return;
    }
    ReadFolder(host_, *listing, folder, volume_.Separator(), nullptr, skip_, files);
    ExamineFiles(abortRequested_, host_, handler_, *listing, folder, files);
}

}  // namespace snapsift
