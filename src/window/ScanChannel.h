// A window's scan on a thread of its own. The run's host there (ScanChannel) takes the settings as
// they were at START, keeps the path and the counts for the window to show when it next looks,
// and queues the run's looks, boxes and end for the window's thread, waiting for the answer of
// each box before the run goes on. The window takes them from its own thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "scan/ScanHost.h"
#include "scan/ScanRun.h"

namespace snapsift {

// The settings a run reads, as the window's controls gave them when it started.
struct ScanSettings {
    bool profileMode = false, searchSubfolders = false, includePhotos = false;
    std::string driveRoot;
    const ImageSource* image = nullptr;
};

// What the run asks of the window, in its order.
struct ScanEvent {
    enum class Kind { Look, Message, Question, End };
    Kind kind = Kind::End;
    bool running = false;  // Look: the running look (true) or the idle one
    std::string text;      // Message, Question
    MessageKind messageKind = MessageKind::Information;  // Message
};

// The path on show and the counts, as the window takes them.
struct ScanProgress {
    std::string path;
    bool pathNew = false;  // a path came since the last take
    std::uint64_t filesExamined = 0;
    std::int32_t filesFound = 0;
};

class ScanChannel final : public ScanHost {
public:
    explicit ScanChannel(ScanSettings settings) : settings_(std::move(settings)) {}

    // The run's side, on its thread. A box waits for its answer, or for Close().
    bool ProfileMode() const override { return settings_.profileMode; }
    bool SearchSubfolders() const override { return settings_.searchSubfolders; }
    bool IncludePhotos() const override { return settings_.includePhotos; }
    std::string SelectedDriveRoot() const override { return settings_.driveRoot; }
    const ImageSource* Image() const override { return settings_.image; }
    void ShowPath(const std::string& fullPath) override;
    void Yield() override {}
    void FileFound(std::int32_t filesFound) override;
    // The unallocated space on show as the path ("case.E01, partition 2, unallocated space: 120 of
    // 4,096 MB read"); no file is counted.
    void CarvingProgress(const std::string& area, std::uint64_t bytesRead, std::uint64_t bytesTotal) override;
    void ShowMessage(std::string_view text, MessageKind kind) override;
    bool AskYesNo(std::string_view text) override;
    void SetRunningLook(bool running) override;
    // The run's folders not read are counted by the run itself and named in its result.
    void FolderUnreadable(const std::string&, const SystemError&) override {}
    // The run's last word: its result, then the End event.
    void Finish(ScanResult result);

    // The window's side, on its thread.
    ScanProgress TakeProgress();
    // The next event, if one waits.
    std::optional<ScanEvent> Next();
    // The answer to the box that Next gave: Yes (or OK) when true.
    void Answer(bool yes);
    // A box queued and not yet taken is answered No (or OK) unshown; the run goes on to its next
    // check. For an abort.
    void AnswerQueuedBox();
    // Every box, waiting or to come, is answered No (or OK) at once, unshown. For a window that
    // closes.
    void Close();
    // The run's result, once End has been taken.
    const ScanResult& Result() const { return result_; }

private:
    // Queues a box and waits for its answer.
    bool Ask(ScanEvent event);

    const ScanSettings settings_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<ScanEvent> events_;
    ScanProgress progress_;
    bool boxWaiting_ = false, answer_ = false, closed_ = false;
    ScanResult result_;
};

}  // namespace snapsift
