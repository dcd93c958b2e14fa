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

    // The root as a native path, and as program text (UTF-8) ending in the separator.
    const std::filesystem::path& Root() const { return root_; }
    std::string RootText() const;
    std::filesystem::path Path(std::string_view relative) const;
    std::string Text(std::string_view relative) const;  // program text of a path below the root

    std::string Folder(std::string_view relative);  // with its parents; its text ending in the separator
    void File(std::string_view relative, std::string_view contents = {});
    // Makes every entry: a relative path ending in "/" is a folder, else a file.
    void Entries(std::initializer_list<std::pair<std::string_view, std::string_view>> entries);

private:
    std::filesystem::path root_;
};

// A whole file's bytes; empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);
// UTF-8 program text of a native path, and the native path of program text.
std::string ToText(const std::filesystem::path& path);
std::filesystem::path FromText(const std::string& text);

}  // namespace snapsift::test
