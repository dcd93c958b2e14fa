// Whether a search will move the last-access times of what it reads, foreseen before it starts
// from the rights of this process and the volume it would read. The evidence opens ask the
// system to leave those times alone (POSIX: O_NOATIME, which the kernel grants to a file's owner
// and to a process with CAP_FOWNER; Windows: write-attributes access, which administrators hold
// on every profile's files); a process without those rights reads other people's files in the
// ordinary way, and the volume moves their times unless it never does (mounted read-only, or
// without access times).
#pragma once

#include <string>

namespace snapsift {

enum class AccessTimeForecast {
    Kept,               // this process may ask to keep them, or the volume never moves them
    OthersFilesChange,  // the files of other users (Windows: those this account may only read) get new ones
};

// The forecast for a search under searchRoot, a folder of the live file system ("/media/x/",
// "c:\", a source folder). A root that cannot be looked at is taken as one whose times move.
AccessTimeForecast ForecastAccessTimes(const std::string& searchRoot);

}  // namespace snapsift
