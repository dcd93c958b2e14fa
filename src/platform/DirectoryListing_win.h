// How the Windows listing sees an entry: which reparse points are links, and the kind of a
// listed entry. Windows builds only.
#pragma once

#include <string>
#include <string_view>

#include "platform/WideText.h"
#include "platform/DirectoryListing.h"

namespace snapsift {

// A reparse point that names another entry (symbolic link, junction, mount point), or one
// whose tag was not reported (Wine shows a host link to a folder so) and so may be one.
bool IsLinkReparseTag(unsigned long tag);

// The walk's view of a listed entry, from its attributes and, for a reparse point, its tag.
// Reparse points that hold their own data (deduplicated, compressed, cloud-synced entries)
// count as the file or folder they are.
EntryKind KindOfEntry(unsigned long attributes, unsigned long reparseTag);

}  // namespace snapsift
