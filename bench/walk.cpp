// Walk speed: SearchFolderTree over a large synthetic tree with a host that shows nothing and
// a handler that only recognises names (or, for "scan", the evidence entry a scan hands files to,
// without photos), next to find(1) over the same tree, both as child processes timed the same
// way. The "indexdat" tree has the same shape without photos, and an old cache's index.dat in
// three folders of four. Run by bench/walk.sh.
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

#include "cache/IndexDatWriter.h"
#include "search/CandidateHandler.h"
#include "evidence/EvidenceRecorder.h"
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

// withPhotos: with the names of photos among the others.
std::string FileName(long i, bool withPhotos) {
    char name[96];
    if (!withPhotos && (i % 997 == 0 || i % 991 == 1))
        std::snprintf(name, sizeof name, "n%ld_%ld.txt", 100000000 + i, i % 1000);
    else if (i % 997 == 0)
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

// An old cache's index.dat that records one folder and no file: what every index.dat of the
// "indexdat" tree holds.
std::string EmptyIndexDat() {
    test::IndexDatSource source;
    source.folders = {{"ABCD1234", 0}};
    return test::WriteIndexDat(source).bytes;
}

// indexDat: the last of the folder's files is an index.dat with these bytes; empty for none.
bool MakeFiles(const std::string& folder, long& next, bool withPhotos, const std::string& indexDat) {
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
    for (int f = 0; f < kFilesPerFolder; ++f) {
        const bool index = f == kFilesPerFolder - 1 && !indexDat.empty();
        const std::string path = folder + "/" + (index ? std::string("index.dat") : FileName(next, withPhotos));
        ++next;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        const bool written = !index || ::write(fd, indexDat.data(), indexDat.size()) == static_cast<ssize_t>(indexDat.size());
        ::close(fd);
        if (!written) return false;
    }
    return true;
}

// Makes the tree once: built aside and moved into place whole, so that a tree left half
// made, or made by another tool under the same name, is never taken for it.
int Generate(const std::string& tree, bool indexDats) {
    if (::access((tree + "/.complete").c_str(), F_OK) == 0) return 0;
    std::fprintf(stderr, "making %s (200,000 files in 20,000 folders%s)...\n", tree.c_str(),
                 indexDats ? ", an index.dat in three of four, no photos" : "");
    const std::string indexDat = indexDats ? EmptyIndexDat() : std::string();
    int folder = 0;  // the folders made so far: every fourth has no index.dat
    const auto index = [&] { return folder++ % 4 == 3 ? std::string() : indexDat; };
    const std::string partial = tree + ".partial";
    std::error_code ec;
    std::filesystem::remove_all(partial, ec);
    if (::mkdir(partial.c_str(), 0755) != 0) return 1;
    long next = 0;
    char name[32];
    for (int t = 0; t < kTopFolders; ++t) {
        std::snprintf(name, sizeof name, "/User%02d", t);
        const std::string top = partial + name;
        if (!MakeFiles(top, next, !indexDats, index())) return 1;
        for (int s = 0; s < kSubFolders; ++s) {
            std::snprintf(name, sizeof name, "/%03X", s * 7 % 4096);
            if (!MakeFiles(top + name, next, !indexDats, index())) return 1;
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

// The walk a scan without photos makes: every file handed to the evidence entry, which writes
// what it finds into a folder of its own.
int Scan(const std::string& tree) {
    const bool abortRequested = false;
    SilentHost host;
    char out[] = "/tmp/snapsift-bench-scan-out.XXXXXX";
    if (::mkdtemp(out) == nullptr) return 1;
    RunFolderEntries entries(std::string(out) + "/");
    EvidenceRecorder evidence(std::string(out) + "/", host, entries);
    FolderWalk(abortRequested, host, evidence).SearchFolderTree(tree);
    std::error_code ec;
    std::filesystem::remove_all(out, ec);
    std::printf("files=%lld found=%d\n", static_cast<long long>(host.shown), evidence.Tally().filesFound);
    return 0;
}

struct Timing {
    double wall = 1e9, cpu = 1e9;
    std::vector<double> walls;
    double Median() const {
        std::vector<double> sorted = walls;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        return n == 0 ? 0 : n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
};

// Runs a program with its output thrown away; records its best wall and CPU seconds, and the
// wall seconds of every run.
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
    best.walls.push_back(wall);
    best.wall = std::min(best.wall, wall);
    best.cpu = std::min(best.cpu, cpu);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int Compare(const char* self, const std::string& tree, int runs, const std::string& mode) {
    Timing ours, find;
    const std::vector<std::string> walk{self, mode, tree};
    const std::vector<std::string> reference{"find", tree, "-name", "*.jpg"};
    // One untimed run of each warms the cache; then they take turns.
    if (!TimeRun(walk, ours) || !TimeRun(reference, find)) return 1;
    ours = find = Timing{};
    for (int i = 0; i < runs; ++i)
        if (!TimeRun(walk, ours) || !TimeRun(reference, find)) return 1;
    std::printf("best of %d: %s %.3f s (cpu %.3f s), find %.3f s (cpu %.3f s)\n", runs, mode.c_str(), ours.wall,
                ours.cpu, find.wall, find.cpu);
    std::printf("median of %d: %s %.3f s, find %.3f s\n", runs, mode.c_str(), ours.Median(), find.Median());
    std::printf("ratio %s/find: wall %.2f (medians %.2f), cpu %.2f (target at most 0.80)\n", mode.c_str(),
                ours.wall / find.wall, ours.Median() / find.Median(), ours.cpu / find.cpu);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc >= 3 && mode == "generate") return Generate(argv[2], false);
    if (argc >= 3 && mode == "generate-indexdat") return Generate(argv[2], true);
    if (argc >= 3 && mode == "walk") return Walk(argv[2]);
    if (argc >= 3 && mode == "scan") return Scan(argv[2]);
    if (argc >= 3 && mode == "compare")
        return Compare(argv[0], argv[2], argc > 3 ? std::atoi(argv[3]) : 5, argc > 4 ? argv[4] : "walk");
    std::fprintf(stderr, "usage: %s generate|generate-indexdat|walk|scan TREE, or compare TREE [RUNS [walk|scan]]\n",
                 argv[0]);
    return 2;
}
