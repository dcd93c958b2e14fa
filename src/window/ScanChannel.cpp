#include "window/ScanChannel.h"

#include <algorithm>
#include <utility>

namespace snapsift {

void ScanChannel::ShowPath(const std::string& fullPath) {
    const std::lock_guard lock(mutex_);
    progress_.path.assign(fullPath);
    progress_.pathNew = true;
    ++progress_.filesExamined;
}

void ScanChannel::CarvingProgress(const std::string& area, std::uint64_t bytesRead, std::uint64_t bytesTotal) {
    constexpr std::uint64_t kMegabyte = 1 << 20;
    const auto megabytes = [](std::uint64_t bytes) {
        std::string digits = std::to_string(bytes / kMegabyte);
        for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
        return digits;
    };
    const std::lock_guard lock(mutex_);
    progress_.path = area + ", unallocated space: " + megabytes(bytesRead) + " of " + megabytes(bytesTotal) + " MB read";
    progress_.pathNew = true;
}

void ScanChannel::FileFound(std::int32_t filesFound) {
    const std::lock_guard lock(mutex_);
    progress_.filesFound = filesFound;
}

void ScanChannel::ShowMessage(std::string_view text, MessageKind kind) {
    Ask({ScanEvent::Kind::Message, false, std::string(text), kind});
}

bool ScanChannel::AskYesNo(std::string_view text) {
    return Ask({ScanEvent::Kind::Question, false, std::string(text), MessageKind::Information});
}

void ScanChannel::SetRunningLook(bool running) {
    const std::lock_guard lock(mutex_);
    events_.push_back({ScanEvent::Kind::Look, running, {}, {}});
}

void ScanChannel::Finish(ScanResult result) {
    const std::lock_guard lock(mutex_);
    result_ = std::move(result);
    events_.push_back({ScanEvent::Kind::End, false, {}, {}});
}

bool ScanChannel::Ask(ScanEvent event) {
    std::unique_lock lock(mutex_);
    if (closed_) return false;
    events_.push_back(std::move(event));
    boxWaiting_ = true;
    answered_.wait(lock, [this] { return !boxWaiting_; });
    return answer_;
}

ScanProgress ScanChannel::TakeProgress() {
    const std::lock_guard lock(mutex_);
    ScanProgress taken = progress_;
    progress_.pathNew = false;
    return taken;
}

std::optional<ScanEvent> ScanChannel::Next() {
    const std::lock_guard lock(mutex_);
    if (events_.empty()) return std::nullopt;
    ScanEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
}

void ScanChannel::Answer(bool yes) {
    {
        const std::lock_guard lock(mutex_);
        if (!boxWaiting_) return;
        answer_ = yes;
        boxWaiting_ = false;
    }
    answered_.notify_all();
}

namespace {

bool IsBox(const ScanEvent& event) {
    return event.kind == ScanEvent::Kind::Message || event.kind == ScanEvent::Kind::Question;
}

}  // namespace

void ScanChannel::AnswerQueuedBox() {
    {
        const std::lock_guard lock(mutex_);
        const auto box = std::find_if(events_.begin(), events_.end(), IsBox);
        if (box == events_.end()) return;
        events_.erase(box);
        answer_ = false;
        boxWaiting_ = false;
    }
    answered_.notify_all();
}

void ScanChannel::Close() {
    {
        const std::lock_guard lock(mutex_);
        std::erase_if(events_, IsBox);
        closed_ = true;
        answer_ = false;
        boxWaiting_ = false;
    }
    answered_.notify_all();
}

}  // namespace snapsift
