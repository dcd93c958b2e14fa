// A whole scan run over a folder tree, timed: walk, recognition, digest, times, copy and the
// report, with a host that shows nothing. Prints the files found and the seconds taken.
// Usage: bench_scan SOURCE_FOLDER OUTPUT_FOLDER [--no-photos]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "scan/ScanRun.h"
#include "text/PathText.h"

namespace {

class SilentHost : public snapsift::ScanHost {
public:
    explicit SilentHost(bool photos) : photos_(photos) {}
    bool ProfileMode() const override { return false; }
    bool SearchSubfolders() const override { return true; }
    bool IncludePhotos() const override { return photos_; }
    std::string SelectedDriveRoot() const override { return {}; }
    void ShowPath(const std::string&) override {}
    void Yield() override {}
    void ShowMessage(std::string_view text, snapsift::MessageKind kind) override {
        if (kind != snapsift::MessageKind::Final) std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
    bool AskYesNo(std::string_view) override { return false; }
    void SetRunningLook(bool) override {}
    void FolderUnreadable(const std::string& folder, const snapsift::SystemError& error) override {
        std::fprintf(stderr, "Cannot read folder: %s: %s\n", folder.c_str(), snapsift::SystemErrorText(error.code).c_str());
    }

private:
    bool photos_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_scan SOURCE_FOLDER OUTPUT_FOLDER [--no-photos]\n");
        return 2;
    }
    const bool photos = !(argc > 3 && std::strcmp(argv[3], "--no-photos") == 0);
    snapsift::ScanState state;
    state.sourceFolder = snapsift::WithTrailingSeparator(argv[1]);
    state.outputFolder = snapsift::WithTrailingSeparator(argv[2]);
    SilentHost host(photos);
    const auto start = std::chrono::steady_clock::now();
    const snapsift::ScanResult result = snapsift::RunScan(state, host);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    if (result.outcome != snapsift::ScanOutcome::Completed) return 1;
    std::printf("files %d seconds %.3f report %s\n", result.filesFound, seconds.count(), result.reportPath.c_str());
    return 0;
}
