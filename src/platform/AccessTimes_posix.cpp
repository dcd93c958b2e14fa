#include "platform/AccessTimes.h"

#include <sys/statvfs.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#endif

namespace snapsift {

namespace {

// Whether the kernel lets this process open any file without moving its access time: O_NOATIME
// on a file it does not own needs CAP_FOWNER in its effective set (root may lack it, in a
// container; another user may hold it).
bool MayKeepAnyonesAccessTimes() {
#ifdef __linux__
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return ::geteuid() == 0;
    return (data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
#else
    return false;  // nowhere else is there a way to read without moving the time
#endif
}

// Whether the volume holding path never moves access times: mounted read-only, or noatime.
bool VolumeKeepsAccessTimes(const std::string& path) {
    struct statvfs volume{};
    if (::statvfs(path.empty() ? "/" : path.c_str(), &volume) != 0) return false;
    return (volume.f_flag & (ST_RDONLY | ST_NOATIME)) != 0;
}

}  // namespace

AccessTimeForecast ForecastAccessTimes(const std::string& searchRoot) {
    if (MayKeepAnyonesAccessTimes() || VolumeKeepsAccessTimes(searchRoot)) return AccessTimeForecast::Kept;
    return AccessTimeForecast::OthersFilesChange;
}

}  // namespace snapsift
