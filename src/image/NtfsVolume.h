// An NTFS file system inside a disk image as a volume the scan can read, through The Sleuth
// Kit: folders listed from their indexes, files opened by their MFT record, the times read from
// $STANDARD_INFORMATION, the content from the default data stream. Deleted names, when asked
// for, come with what became of their record.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "image/ImageDamage.h"
#include "volume/Volume.h"

struct TSK_FS_INFO;

namespace snapsift {

// A volume over an open NTFS file system. Paths begin with driveRoot, then "\" and the names
// down from the file system's root, separated by "\". keepAlive holds whatever fs lives in.
// number tells this volume's folders from those of the image's other volumes. damage, when
// given (it lives in keepAlive), tells which parts of the image were read as zeros. rootOpened,
// when given, is called at each opening of a root, before the root is read: a search of the
// volume has begun.
std::unique_ptr<Volume> MakeNtfsVolume(std::shared_ptr<const void> keepAlive, TSK_FS_INFO* fs,
                                       std::string driveRoot, std::uint64_t number, bool includeDeleted,
                                       const ImageDamage* damage = nullptr, std::function<void()> rootOpened = {});

// What a name's MFT record says of the file the name was given to. NTFS raises a record's
// sequence number when it frees the record, so a freed record still holds a deleted file when
// its number is the name's or one above.
enum class RecordMatch {
    Live,           // an allocated record with the name's sequence number
    DeletedIntact,  // a freed record that still describes the named file
    Reused,         // the record belongs to another file, or has since
};
RecordMatch MatchRecord(std::uint32_t nameSequence, bool recordAllocated, std::uint32_t recordSequence);

}  // namespace snapsift
