#include "image/ImageSegments.h"

#include <fcntl.h>
#include <libewf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace snapsift {

namespace {

bool EndsWith(const std::string& text, const char* end) {
    const std::size_t length = std::strlen(end);
    if (text.size() < length) return false;
    return std::equal(text.end() - static_cast<std::ptrdiff_t>(length), text.end(), end, end + length,
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// The first file holds an E01's signature. It is a regular file, checked, and opened without
// following a link or waiting on anything.
bool HoldsEwfSignature(const std::string& path) {
    static constexpr unsigned char kSignature[8] = {'E', 'V', 'F', 0x09, 0x0D, 0x0A, 0xFF, 0x00};
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return false;
    unsigned char start[sizeof kSignature] = {};
    struct stat info;
    const bool regular = ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
    const bool read = regular && ::read(descriptor, start, sizeof start) == static_cast<ssize_t>(sizeof start);
    ::close(descriptor);
    return read && std::equal(start, start + sizeof start, kSignature);
}

// The names libewf finds for the set of an E01 (it only looks at them, opening none).
std::vector<std::string> EwfSegmentNames(const std::string& first) {
    std::vector<std::string> names;
    char** found = nullptr;
    int count = 0;
    libewf_error_t* error = nullptr;
    if (libewf_glob(first.c_str(), first.size(), LIBEWF_FORMAT_UNKNOWN, &found, &count, &error) == 1) {
        names.assign(found, found + count);
        libewf_glob_free(found, count, &error);
    }
    if (error != nullptr) libewf_error_free(&error);
    if (names.empty()) names.push_back(first);
    return names;
}

}  // namespace

std::string SplitSegmentName(const std::string& first, int number) {
    std::string name = first;
    char digits[16];
    const auto numbered = [&](int width, int value) {
        std::snprintf(digits, sizeof digits, "%0*d", width, value);
        name.replace(name.size() - static_cast<std::size_t>(width), static_cast<std::size_t>(width), digits);
        return name;
    };
    const auto lettered = [&](int width) {
        int value = number - 1;
        for (int i = 1; i <= width; ++i, value /= 26) name[name.size() - static_cast<std::size_t>(i)] += static_cast<char>(value % 26);
        return value > 0 ? std::string() : name;
    };
    if (EndsWith(first, ".dmg")) {
        std::snprintf(digits, sizeof digits, "%03d.dmgpart", number);
        return name.substr(0, name.size() - 3) + digits;
    }
    if (EndsWith(first, ".001") || EndsWith(first, "_001")) return numbered(3, number);
    if (EndsWith(first, ".000") || EndsWith(first, "_000")) return numbered(3, number - 1);
    if (EndsWith(first, ".01") || EndsWith(first, "_01")) return numbered(2, number);
    if (EndsWith(first, ".00") || EndsWith(first, "_00")) return numbered(2, number - 1);
    if (EndsWith(first, ".aaa") || EndsWith(first, "xaaa") || EndsWith(first, "_aaa")) return lettered(3);
    if (EndsWith(first, ".aa") || EndsWith(first, "xaa") || EndsWith(first, "_aa")) return lettered(2);
    if (EndsWith(first, ".bin")) return name.substr(0, name.size() - 4) + "(" + std::to_string(number) + ").bin";
    return "";
}

bool FindImageSegments(const std::string& first, ImageSegments& segments, std::string& problem) {
    segments = {};
    struct stat info;
    if (::lstat(first.c_str(), &info) != 0) {
        problem = "Disk image not found: " + first;
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        problem = "A segment of the disk image is a link: " + first;
        return false;
    }
    if (S_ISBLK(info.st_mode)) {  // a whole disk, read as one raw image
        segments.files.push_back(first);
        return true;
    }
    if (!S_ISREG(info.st_mode)) {
        problem = "Not a disk image file: " + first;
        return false;
    }
    segments.ewf = HoldsEwfSignature(first);
    if (segments.ewf) {
        segments.files = EwfSegmentNames(first);
    } else {
        segments.files.push_back(first);
        struct stat next;
        for (int number = 2;; ++number) {
            std::string name = SplitSegmentName(first, number);
            if (name.empty() || ::lstat(name.c_str(), &next) != 0) break;
            segments.files.push_back(std::move(name));
        }
    }
    std::uint64_t firstSize = 0;
    for (std::size_t i = 0; i < segments.files.size(); ++i) {
        const std::string& file = segments.files[i];
        if (::lstat(file.c_str(), &info) != 0) {
            problem = "A segment of the disk image is missing: " + file;
            return false;
        }
        if (S_ISLNK(info.st_mode)) {
            problem = "A segment of the disk image is a link: " + file;
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            problem = "A segment of the disk image is not a regular file: " + file;
            return false;
        }
        const auto size = static_cast<std::uint64_t>(info.st_size);
        segments.bytes += size;
        if (segments.ewf) continue;
        const bool last = i + 1 == segments.files.size();
        if (i == 0) {
            firstSize = size;
        } else if (size > firstSize) {
            problem = "A segment of the split image is longer than the first: " + file;
            return false;
        } else if (size == 0) {
            problem = "A segment of the split image is empty: " + file;
            return false;
        } else if (size < firstSize && !last) {
            problem = "A segment of the split image is not as long as the first (cut short or replaced): " + file;
            return false;
        }
    }
    return true;
}

}  // namespace snapsift
