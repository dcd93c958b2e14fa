#include <windows.h>

#include "platform/DirectoryListing.h"
#include "platform/DirectoryListing_win.h"
#include "platform/WinHandle.h"

namespace snapsift {


bool IsLinkReparseTag(unsigned long tag) { return tag == 0 || IsReparseTagNameSurrogate(tag); }

EntryKind KindOfEntry(unsigned long attributes, unsigned long reparseTag) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsLinkReparseTag(reparseTag)) return EntryKind::Other;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::Folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryKind::Other;
    return EntryKind::File;
}

struct DirectoryListing::State {
    FindHandle find;
    WIN32_FIND_DATAW data{};
    bool pending = false;  // data holds an entry not handed out yet
    std::string name;
    unsigned long error = 0;  // GetLastError() of the failure that ended the listing, 0 while none
};

DirectoryListing::DirectoryListing(const std::string& folderPath, bool /*followLink*/)
    : state_(std::make_unique<State>()) {
    // A link or junction below the root is never queued (its kind is Other), so only a
    // chosen root is ever reached through one.
    std::wstring pattern = ApiPath(folderPath);
    if (pattern.empty()) {
        state_->error = ERROR_INVALID_NAME;
        return;
    }
    if (pattern.back() != L'\\') pattern.push_back(L'\\');
    pattern.push_back(L'*');
    state_->find.Reset(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &state_->data,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    // No handle: the folder could not be listed, or it is a drive's root folder with no
    // entries at all (ERROR_FILE_NOT_FOUND), which is a complete, empty listing.
    state_->pending = state_->find.Valid();
    if (!state_->pending && ::GetLastError() != ERROR_FILE_NOT_FOUND) state_->error = ::GetLastError();
}

SystemError DirectoryListing::Error() const { return {static_cast<long>(state_->error)}; }

DirectoryListing::~DirectoryListing() = default;

ListingStep DirectoryListing::Next(std::string_view& name, EntryKind& kind) {
    State& s = *state_;
    if (!s.find.Valid()) return s.error != 0 ? ListingStep::Failed : ListingStep::End;
    for (;;) {
        if (!s.pending && !::FindNextFileW(s.find.Get(), &s.data)) {
            const DWORD error = ::GetLastError();
            s.find.Close();
            if (error != ERROR_NO_MORE_FILES) s.error = error;
            return s.error != 0 ? ListingStep::Failed : ListingStep::End;
        }
        s.pending = false;
        const wchar_t* text = s.data.cFileName;
        if (text[0] == L'.' && (text[1] == L'\0' || (text[1] == L'.' && text[2] == L'\0'))) continue;
        kind = KindOfEntry(s.data.dwFileAttributes, s.data.dwReserved0);
        s.name = Utf8FromWide(text);
        name = s.name;
        return ListingStep::Entry;
    }
}

bool FolderExists(const std::string& path) {
    const std::wstring apiPath = ApiPath(path);
    if (apiPath.empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(apiPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace snapsift
