#include "search/FolderWalk.h"

#include <cstddef>
#include <deque>
#include <string_view>
#include <vector>

#include "platform/DirectoryListing.h"
#include "platform/Paths.h"
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

// Reads one folder in a single pass: its subfolders go to the queue (when one is kept), its
// regular files to `files`; links and special files are passed over. What was read before a
// failure is kept, and the failure goes to the host.
void ReadFolder(SearchHost& host, const std::string& folder, bool isRoot, std::deque<std::string>* queue,
                FileNames& files) {
    files.Clear();
    DirectoryListing listing(folder, isRoot);
    std::string_view name;
    EntryKind kind;
    ListingStep step;
    while ((step = listing.Next(name, kind)) == ListingStep::Entry) {
        if (kind == EntryKind::File) {
            files.Add(name);
        } else if (kind == EntryKind::Folder && queue != nullptr) {
            std::string& sub = queue->emplace_back();
            sub.reserve(folder.size() + name.size() + 1);
            sub.append(folder).append(name).push_back(kSeparator);
        }
    }
    if (step == ListingStep::Failed) host.FolderUnreadable(folder, listing.Error());
}

// The files of one folder, each: abort test, path shown, yield, name filter and, on a match,
// ProcessCandidate. False when the walk was aborted.
bool ExamineFiles(const bool& abortRequested, SearchHost& host, CandidateHandler& handler,
                  const std::string& folder, const FileNames& files) {
    std::string fullPath = folder;
    for (std::size_t i = 0; i < files.Count(); ++i) {
        if (abortRequested) return false;
        const std::string_view name = files[i];
        fullPath.resize(folder.size());
        fullPath.append(name);
        host.ShowPath(fullPath);
        host.Yield();
        if (const auto nameStyle = NameFilter(name)) {
            try {
                handler.ProcessCandidate(fullPath, std::string(name), *nameStyle);
            } catch (...) {
                // A failure inside one file's processing never stops the walk.
            }
        }
    }
    return true;
}

}  // namespace

void FolderWalk::SearchFolderTree(const std::string& rootPath) {
    if (!FolderExists(rootPath)) return;
    std::deque<std::string> queue;
    queue.push_back(AddBackslash(rootPath));
    FileNames files;
    bool isRoot = true;
    while (!queue.empty()) {
        const std::string folder = std::move(queue.front());
        queue.pop_front();
        ReadFolder(host_, folder, isRoot, &queue, files);
        isRoot = false;
        if (!ExamineFiles(abortRequested_, host_, handler_, folder, files)) return;
    }
}

void FolderWalk::SearchFolder(const std::string& rootPath) {
    if (!FolderExists(rootPath)) return;
    const std::string folder = AddBackslash(rootPath);
    FileNames files;
    ReadFolder(host_, folder, true, nullptr, files);
    ExamineFiles(abortRequested_, host_, handler_, folder, files);
}

}  // namespace snapsift
