// Text and path forms for the Windows wide-character API: UTF-8 program text to UTF-16 and
// back, and the \\?\ form that lifts the 260-character path limit. Windows builds only.
#pragma once

#include <string>
#include <string_view>

#include "search/DirectoryListing.h"

namespace snapsift {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The path as the API should receive it: an absolute path in the \\?\ form (\\?\UNC\ for a
// \\server\share path), taken literally; a relative path, or one with "/" or "." and ".."
// parts, made whole by the system first. The program's own text is never changed.
std::wstring ApiPath(std::string_view path);

// A reparse point that names another entry (symbolic link, junction, mount point), or one
// whose tag was not reported (Wine shows a host link to a folder so) and so may be one.
bool IsLinkReparseTag(unsigned long tag);

// The walk's view of a listed entry, from its attributes and, for a reparse point, its tag.
// Reparse points that hold their own data (deduplicated, compressed, cloud-synced entries)
// count as the file or folder they are.
EntryKind KindOfEntry(unsigned long attributes, unsigned long reparseTag);

}  // namespace snapsift
