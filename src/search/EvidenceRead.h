// The one pass over an open evidence file's bytes that gives its digest and, at the same time,
// its copy.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "volume/Volume.h"

namespace snapsift {

// The MD5 digest of an open file, read once from its start up to its size at the open; every
// piece read is handed to alsoTo as well (a copy being made). MD5::kFileFailureText when a read
// fails, the file is 2^28 bytes or more (its copy is still made whole), or its size or
// modification time changed while it was read. Never throws.
std::string DigestEvidence(VolumeFile& file, const std::function<void(std::string_view)>& alsoTo = {});

}  // namespace snapsift
