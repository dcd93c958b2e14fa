#include "support/TempTree.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace snapsift::test {

std::string ToText(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

fs::path FromText(const std::string& text) { return std::u8string(text.begin(), text.end()); }

TempTree::TempTree() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    // A folder made new here: a test binary running beside this one may have taken a name.
    do {
        root_ = fs::temp_directory_path() / ("snapsift-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    } while (!fs::create_directory(root_));
}

TempTree::~TempTree() {
    std::error_code ec;
    // Give back permissions that a test took away, so the tree can be removed.
    for (auto it = fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->symlink_status(ec).type() == fs::file_type::directory)
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(root_, ec);
}

std::string TempTree::RootText() const { return ToText(root_ / ""); }

fs::path TempTree::Path(std::string_view relative) const {
    return (root_ / std::u8string(relative.begin(), relative.end())).make_preferred();
}

std::string TempTree::Text(std::string_view relative) const { return ToText(Path(relative)); }

std::string TempTree::Folder(std::string_view relative) {
    fs::create_directories(Path(relative));
    return ToText(Path(relative) / "");
}

void TempTree::File(std::string_view relative, std::string_view contents) {
    const fs::path path = Path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(contents.data(), static_cast<std::streamsize>(contents.size())))
        throw std::runtime_error("cannot write test file " + ToText(path));
}

void TempTree::Entries(std::initializer_list<std::pair<std::string_view, std::string_view>> entries) {
    for (const auto& [relative, contents] : entries)
        relative.ends_with('/') ? (void)Folder(relative) : File(relative, contents);
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return in ? out.str() : std::string();
}

}  // namespace snapsift::test
