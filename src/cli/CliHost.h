// The scan host of snapsift-cli: settings from the command line, a throttled progress line
// on standard error, messages as text, and Ctrl-C as a confirmed abort.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "scan/ScanHost.h"
#include "scan/ScanState.h"
#include "text/PathText.h"

namespace snapsift::cli {

struct CliSettings {
    bool profileMode = false;
    bool searchSubfolders = true;
    bool includePhotos = true;
    bool includeDeletedCacheEntries = false;
    std::string driveRoot;
    const ImageSource* image = nullptr;  // a disk image searched instead of the live file system
};

class CliHost : public ScanHost {
public:
    CliHost(ScanState& state, CliSettings settings, bool showProgress)
        : state_(state), settings_(std::move(settings)), showProgress_(showProgress) {}

    bool ProfileMode() const override { return settings_.profileMode; }
    bool SearchSubfolders() const override { return settings_.searchSubfolders; }
    bool IncludePhotos() const override { return settings_.includePhotos; }
    bool IncludeDeletedCacheEntries() const override { return settings_.includeDeletedCacheEntries; }
    std::string SelectedDriveRoot() const override { return settings_.driveRoot; }
    const ImageSource* Image() const override { return settings_.image; }

    void ShowPath(const std::string& fullPath) override;
    void Yield() override;
    void FileFound(std::int32_t filesFound) override { found_ = filesFound; }
    void CarvingProgress(const std::string& area, std::uint64_t bytesRead, std::uint64_t bytesTotal) override;
    void ShowMessage(std::string_view text, MessageKind kind) override;
    bool AskYesNo(std::string_view text) override;
    void SetRunningLook(bool running) override;
    void FolderUnreadable(const std::string& folderPath, const SystemError& error) override;
    void AccessTimeNotKept(const std::string& path) override;
    void FileChangedWhileRead(const std::string& fullPath) override;
    void CandidateLost(const std::string& fullPath, std::string_view why) override;
    void CacheProblem(const std::string& where, std::string_view problem) override;

private:
    // The separator between the names of the paths the run's messages hold: a disk image's are
    // written with backslashes.
    char PathSeparator() const { return settings_.image ? '\\' : kSeparator; }
    void DrawProgress();
    void ClearProgress();

    ScanState& state_;
    CliSettings settings_;
    bool showProgress_;
    std::string path_;
    std::int32_t found_ = 0;
    std::uint64_t examined_ = 0;
    // While unallocated space is searched: its bytes read of its total; the path is the area's name.
    bool carving_ = false;
    std::uint64_t carvedBytes_ = 0, carvingTotal_ = 0;
    bool accessTimeNoticeGiven_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::size_t drawnColumns_ = 0;
};

}  // namespace snapsift::cli
