// Who and where a run is: the machine's name, the user the program runs as, and the present
// time in UTC, for the report's account of the run.
#pragma once

#include <string>

#include "text/DateTime.h"

namespace snapsift {

std::string HostName();  // UTF-8; "" where the system gives none
std::string UserName();  // UTF-8; the user's name, or its number where it has none
DateTime UtcNow();

}  // namespace snapsift
