// Digest throughput: DigestFileToHexStr over one large file, or over every file named in a
// list (one MD5 object per file, as a scan does). Run by bench/digest.sh next to the
// reference tools; it prints md5sum-style lines so the script can check the results.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "hash/MD5.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

int Usage() {
    std::cerr << "usage: bench_digest file PATH | bench_digest list LISTFILE\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return Usage();
    const std::string mode = argv[1];
    std::vector<std::string> paths;
    if (mode == "file") {
        paths.emplace_back(argv[2]);
    } else if (mode == "list") {
        std::ifstream list(argv[2]);
        for (std::string line; std::getline(list, line);)
            if (!line.empty()) paths.push_back(line);
    } else {
        return Usage();
    }

    std::string out;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& path : paths) {
        snapsift::MD5 md5;
        out += Lower(md5.DigestFileToHexStr(path));
        out += "  ";
        out += path;
        out += '\n';
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fprintf(stderr, "%zu files in %.4f s\n", paths.size(), elapsed.count());
    return 0;
}
