// A temporary folder tree for tests: made from relative paths and contents, removed on
// destruction. Paths given with "/" are turned into the platform separator.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace snapsift::test {

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Root of the tree as a native path, and as program text ending in the separator.
    const std::filesystem::path& Root() const { return root_; }
    std::string RootText() const;
    // Program text (UTF-8) of a path below the root.
    std::string Text(std::string_view relative) const;
    std::filesystem::path Path(std::string_view relative) const;

    // Makes a folder (and its parents).
    void Folder(std::string_view relative);
    // Makes a file with the given bytes (and its parent folders).
    void File(std::string_view relative, std::string_view contents = {});
    // Makes every entry: a relative path ending in "/" is a folder, else a file.
    void Entries(std::initializer_list<std::pair<std::string_view, std::string_view>> entries);

private:
    std::filesystem::path root_;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);
// UTF-8 program text of a native path.
std::string ToText(const std::filesystem::path& path);

}  // namespace snapsift::test
