// A file more than 260 characters down a temporary tree, below six folders of 60 characters
// made and removed through the long-path form of the API, which the C runtime cannot reach.
#pragma once

#include "platform/WideText.h"
#include "support/TempTree.h"

#include <windows.h>  // after the project headers: it defines a Yield() macro

namespace snapsift::test {

struct LongPathFile {
    explicit LongPathFile(const TempTree& tree) : top(tree.RootText()), folder(top) {
        for (char c = 'a'; c < 'g'; ++c) {
            folder += std::string(60, c) + "\\";
            ::CreateDirectoryW(ApiPath(folder).c_str(), nullptr);
        }
        path = folder + "n12345_67[1].jpg";
    }
    ~LongPathFile() {
        ::DeleteFileW(ApiPath(path).c_str());
        for (; folder.size() > top.size(); folder.erase(folder.rfind('\\', folder.size() - 2) + 1))
            ::RemoveDirectoryW(ApiPath(folder).c_str());
    }
    std::string top, folder, path;  // folder ends in the separator
};

}  // namespace snapsift::test
