// Walk speed: SearchFolderTree over a large synthetic tree with a host that shows nothing and
// a handler that only recognises names, next to find(1) over the same tree, both as child
// processes timed the same way. Run by bench/walk.sh.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "search/CandidateHandler.h"
#include "search/FolderWalk.h"
#include "search/Recognition.h"

namespace {

using namespace snapsift;

constexpr int kTopFolders = 20;
constexpr int kSubFolders = 999;       // per top folder: 20 + 20 * 999 = 20,000 folders
constexpr int kFilesPerFolder = 10;    // in every folder below the root: 200,000 files

class SilentHost : public SearchHost {
public:
    bool IncludePhotos() const override { return false; }
    void ShowPath(const std::string&) override { ++shown; }
    void Yield() override {}
    void ShowMessage(std::string_view, MessageKind) override {}
    void FolderUnreadable(const std::string&, const SystemError&) override {}
    std::int64_t shown = 0;
};

class RecognisingHandler : public CandidateHandler {
public:
    void ProcessCandidate(const VolumeFolder&, const std::string&, const std::string& fileName, NameStyle nameStyle) override {
        ++candidates;
        if (RecognizeCandidate(fileName, nameStyle)) ++recognised;
    }
    std::int64_t candidates = 0;
    std::int64_t recognised = 0;
};

std::string FileName(long i) {
    char name[96];
    if (i % 997 == 0)
        std::snprintf(name, sizeof name, "n%ld_%ld_%ld[1].jpg", 100000000 + i, i % 1000, i % 777);
    else if (i % 991 == 1)
        std::snprintf(name, sizeof name, "%ld_%ld_%ld_%ld_%ld_n[1].jpg", 1000 + i % 9000, i, 200000 + i, i % 55,
                      i % 99);
    else if (i % 5 == 0)
        std::snprintf(name, sizeof name, "IMG_%06ld.JPG", i);
    else if (i % 5 == 1)
        std::snprintf(name, sizeof name, "photo%ld.jpg", i);
    else if (i % 5 == 2)
        std::snprintf(name, sizeof name, "%08ld_thumbnail.jpg", i);
    else
        std::snprintf(name, sizeof name, "f_%06ld.cache", i);
    return name;
}

bool MakeFiles(const std::string& folder, long& next) {
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
    for (int f = 0; f < kFilesPerFolder; ++f) {
        const std::string path = folder + "/" + FileName(next++);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        ::close(fd);
    }
    return true;
}

// Makes the tree once: built aside and moved into place whole, so that a tree left half
// made, or made by another tool under the same name, is never taken for it.
int Generate(const std::string& tree) {
    if (::access((tree + "/.complete").c_str(), F_OK) == 0) return 0;
    std::fprintf(stderr, "making %s (200,000 files in 20,000 folders)...\n", tree.c_str());
    const std::string partial = tree + ".partial";
    std::error_code ec;
    std::filesystem::remove_all(partial, ec);
    if (::mkdir(partial.c_str(), 0755) != 0) return 1;
    long next = 0;
    char name[32];
    for (int t = 0; t < kTopFolders; ++t) {
        std::snprintf(name, sizeof name, "/User%02d", t);
        const std::string top = partial + name;
        if (!MakeFiles(top, next)) return 1;
        for (int s = 0; s < kSubFolders; ++s) {
            std::snprintf(name, sizeof name, "/%03X", s * 7 % 4096);
            if (!MakeFiles(top + name, next)) return 1;
        }
    }
    const int fd = ::open((partial + "/.complete").c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0) return 1;
    ::close(fd);
    std::filesystem::remove_all(tree, ec);
    return ::rename(partial.c_str(), tree.c_str()) == 0 ? 0 : 1;
}

int Walk(const std::string& tree) {
    const std::atomic<bool> abortRequested{false};
    SilentHost host;
    RecognisingHandler handler;
    FolderWalk(abortRequested, host, handler).SearchFolderTree(tree);
    std::printf("files=%lld candidates=%lld recognised=%lld\n", static_cast<long long>(host.shown),
                static_cast<long long>(handler.candidates), static_cast<long long>(handler.recognised));
    return 0;
}

struct Timing {
    double wall = 1e9, cpu = 1e9;
};

// Runs a program with its output thrown away; records its best wall and CPU seconds.
bool TimeRun(const std::vector<std::string>& argv, Timing& best) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child) return false;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                       usage.ru_stime.tv_usec / 1e6;
    best.wall = std::min(best.wall, wall);
    best.cpu = std::min(best.cpu, cpu);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int Compare(const char* self, const std::string& tree, int runs) {
    Timing ours, find;
    const std::vector<std::string> walk{self, "walk", tree};
    const std::vector<std::string> reference{"find", tree, "-name", "*.jpg"};
    // One untimed run of each warms the cache; then they take turns.
    if (!TimeRun(walk, ours) || !TimeRun(reference, find)) return 1;
    ours = find = Timing{};
    for (int i = 0; i < runs; ++i)
        if (!TimeRun(walk, ours) || !TimeRun(reference, find)) return 1;
    std::printf("best of %d: walk %.3f s (cpu %.3f s), find %.3f s (cpu %.3f s)\n", runs, ours.wall, ours.cpu,
                find.wall, find.cpu);
    std::printf("ratio walk/find: wall %.2f, cpu %.2f (target at most 0.80)\n", ours.wall / find.wall,
                ours.cpu / find.cpu);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc >= 3 && mode == "generate") return Generate(argv[2]);
    if (argc >= 3 && mode == "walk") return Walk(argv[2]);
    if (argc >= 3 && mode == "compare") return Compare(argv[0], argv[2], argc > 3 ? std::atoi(argv[3]) : 5);
    std::fprintf(stderr, "usage: %s generate|walk|compare TREE [RUNS]\n", argv[0]);
    return 2;
}
