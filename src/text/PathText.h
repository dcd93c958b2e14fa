// Path text as the program keeps it: UTF-8, folders ending in the separator, names within the
// longest a folder holds.
#pragma once

#include <cstddef>
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
std::string WithTrailingSeparator(std::string path);

// The path without its trailing separators.
std::string WithoutTrailingSeparators(std::string path);

// The longest name a folder can hold: 255 bytes, or 255 UTF-16 code units on Windows.
inline constexpr std::size_t kNameLimit = 255;

// stem + ending, with the stem cut short (at a character boundary) where the whole would pass
// the name limit. ending must fit by itself.
std::string FitNameLimit(std::string_view stem, std::string_view ending);

// The path as the standard library's file system calls take it.
std::filesystem::path PathFromText(const std::string& text);

}  // namespace snapsift
