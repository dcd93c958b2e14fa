// Disk image benchmark helper: writes the 50,000-file profile tree (five users, 25 cache
// folders each, 400 files a folder; about one file in five a photo that the scan recognises)
// into a mounted NTFS volume. Run by bench/image.sh, which times the scans.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A small fixed-seed generator, so that every run makes the same tree.
struct Random {
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    std::uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    long Below(long limit) { return static_cast<long>(Next() % static_cast<std::uint64_t>(limit)); }
};

int Generate(const std::filesystem::path& root) {
    Random random;
    long files = 0, photos = 0;
    std::string bytes;
    for (const char* user : {"alice", "bob", "carol", "dave", "erin"}) {
        for (int f = 0; f < 25; ++f) {
            char folder[16];
            std::snprintf(folder, sizeof folder, "%08llX", static_cast<unsigned long long>(random.Next() & 0xFFFFFFFF));
            const auto dir = root / "Users" / user / "AppData/Local/Microsoft/Windows/INetCache/IE" / folder;
            std::filesystem::create_directories(dir);
            for (int i = 0; i < 400; ++i, ++files) {
                char name[96];
                const long kind = random.Below(100);
                if (kind < 10) {
                    std::snprintf(name, sizeof name, "n%ld_%ld_%ld[1].jpg", 1 + random.Below(1000000000),
                                  1 + random.Below(1000000), 1 + random.Below(999));
                    ++photos;
                } else if (kind < 19) {
                    std::snprintf(name, sizeof name, "%ld_%ld_%ld_%ld_%ld_n[1].jpg", 1 + random.Below(9999),
                                  1 + random.Below(1000000000), 1 + random.Below(1000000), 1 + random.Below(99),
                                  1 + random.Below(99));
                    ++photos;
                } else if (kind < 50) {
                    std::snprintf(name, sizeof name, "photo%ld_%d[1].jpg", random.Below(1000000), i);
                } else {
                    std::snprintf(name, sizeof name, "page%ld_%d[1].htm", random.Below(1000000), i);
                }
                bytes.resize(static_cast<std::size_t>(100 + random.Below(5900)));
                for (char& c : bytes) c = static_cast<char>(random.Next());
                std::ofstream(dir / name, std::ios::binary) << bytes;
            }
        }
    }
    std::printf("%ld files, about %ld photos\n", files, photos);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "generate") return Generate(argv[2]);
    std::fprintf(stderr, "usage: %s generate MOUNTED_VOLUME\n", argv[0]);
    return 2;
}
