// Path text as the program keeps it (UTF-8, folders ending in the separator) and the
// existence and link tests the scan asks of the file system.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace snapsift {

// The platform's folder separator: "\" on Windows, "/" elsewhere.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// The platform separator, or "/" (which Windows takes as one too).
constexpr bool IsSeparator(char c) { return c == kSeparator || c == '/'; }

// The path with the platform separator appended unless it already ends in a separator.
std::string AddBackslash(std::string path);

// The path without its trailing separators.
std::string WithoutTrailingSeparators(std::string path);

// The longest name a folder can hold: 255 bytes, or 255 UTF-16 code units on Windows.
inline constexpr std::size_t kNameLimit = 255;

// stem + ending, with the stem cut short (at a character boundary) where the whole would pass
// the name limit. ending must fit by itself.
std::string FitNameLimit(std::string_view stem, std::string_view ending);

// The path as the standard library's file system calls take it.
std::filesystem::path PathFromText(const std::string& text);

// True when a file or (with includeFolders) a folder exists at the path, hidden and system
// entries included; false on any failure.
bool PathExists(const std::string& path, bool includeFolders);

// True when the path itself is a symbolic link, a junction or a mount point (a reparse point
// that names another entry). The walk never enters such an entry below its root.
bool IsLinkOrJunction(const std::string& path);

}  // namespace snapsift
