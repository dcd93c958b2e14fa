// Evidence in memory, as a test scripts it: a file's bytes, its size (its bytes repeated to it),
// its state, a failure known at its open, whether its bytes came from damage, and a count of the
// bytes read; a folder that lists nothing and opens a copy of its file under any name.
#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "volume/Volume.h"

namespace snapsift::test {

struct ScriptedFile final : VolumeFile {
    std::string bytes = "a";
    std::int64_t size = 1, at = 0;
    FileState state = FileState::Present;
    SystemError known;
    bool damaged = false;
    std::int64_t* bytesRead = nullptr;  // counted where given

    std::int64_t Size() const override { return size; }
    bool Times(std::optional<DateTime>& created, DateTime& accessed, DateTime& modified) const override {
        created = accessed = modified = DateTime{2010, 1, 5, 7, 3, 9};
        return state == FileState::Present;
    }
    std::int64_t Read(void* buffer, std::size_t request) override {
        if (known.code != 0) return -1;
        const auto got = std::min<std::int64_t>(static_cast<std::int64_t>(request), size - at);
        for (std::int64_t i = 0; i < got; ++i)
            static_cast<char*>(buffer)[i] = bytes[static_cast<std::size_t>(at + i) % bytes.size()];
        at += got;
        if (bytesRead) *bytesRead += got;
        return got;
    }
    bool UnchangedSinceOpen() override { return true; }
    bool AccessTimeKept() const override { return true; }
    SystemError Error() const override { return known; }
    FileState State() const override { return state; }
    bool ReadFromDamage() const override { return damaged && at > 0; }
};

struct ScriptedFolder final : VolumeFolder {
    ScriptedFile file;
    ListingStep Next(std::string_view&, EntryKind&, FileIdentity*) override { return ListingStep::End; }
    SystemError Error() const override { return {}; }
    bool AccessTimeKept() const override { return true; }
    std::unique_ptr<VolumeFile> OpenFile(std::string_view, const std::string&, SystemError&) const override {
        return std::make_unique<ScriptedFile>(file);
    }
};

}  // namespace snapsift::test
