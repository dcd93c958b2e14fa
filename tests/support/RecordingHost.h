// A scan host for tests: fixed settings, a log of every path shown, message given and folder
// not read, scripted Yes/No answers, and an abort that it confirms on a chosen file.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "scan/ScanHost.h"
#include "scan/ScanState.h"

namespace snapsift::test {

class RecordingHost : public ScanHost {
public:
    explicit RecordingHost(ScanState& state) : state_(state) {}

    bool profileMode = false, searchSubfolders = true, includePhotos = true, yesNoAnswer = true;
    std::string driveRoot;
    // When non-zero: AbortRequested is set during the yield of the n-th path shown (1-based),
    // as a confirmed ABORT would.
    std::size_t abortAtFile = 0;
    std::function<void(std::size_t)> onYield;  // during every yield, with the number of paths shown

    std::vector<std::string> shownPaths, questions;
    std::vector<std::pair<MessageKind, std::string>> messages;
    std::vector<bool> looks;                               // every SetRunningLook, in order
    std::vector<std::pair<std::string, long>> unreadable;  // folders not read, with the error code
    std::size_t yields = 0;

    bool ProfileMode() const override { return profileMode; }
    bool SearchSubfolders() const override { return searchSubfolders; }
    bool IncludePhotos() const override { return includePhotos; }
    std::string SelectedDriveRoot() const override { return driveRoot; }
    void ShowPath(const std::string& fullPath) override { shownPaths.push_back(fullPath); }
    void Yield() override {
        ++yields;
        if (abortAtFile != 0 && shownPaths.size() == abortAtFile) state_.AbortRequested = true;
        if (onYield) onYield(shownPaths.size());
    }
    void ShowMessage(std::string_view text, MessageKind kind) override { messages.emplace_back(kind, text); }
    bool AskYesNo(std::string_view text) override {
        questions.emplace_back(text);
        return yesNoAnswer;
    }
    void SetRunningLook(bool running) override { looks.push_back(running); }
    void FolderUnreadable(const std::string& folderPath, const SystemError& error) override {
        unreadable.emplace_back(folderPath, error.code);
    }

private:
    ScanState& state_;
};

}  // namespace snapsift::test
