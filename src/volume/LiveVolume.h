// The live volume: the machine's own file systems, read through the platform's folder listings
// and evidence-file opens.
#pragma once

#include "volume/Volume.h"

namespace snapsift {

// The machine's own file systems, read through the platform's calls.
Volume& LiveVolume();

}  // namespace snapsift
