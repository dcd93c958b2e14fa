// Evidence in memory, as a test scripts it. A file: its bytes (repeated to its size), its state, a
// failure known at its open, whether its bytes came from damage, a count of the bytes read. A
// volume: folders by object number (the root is 1), each listing names with their object (0 for a
// file, which opens as `file`); the folders opened below the root are noted, by the walk and its
// helpers alike, and the walk's own opens take a while so that helpers run ahead of it.
#pragma once

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

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

struct ScriptedVolume final : Volume {
    using Entries = std::vector<std::pair<std::string, std::uint64_t>>;
    std::map<std::uint64_t, Entries> folders{{1, {}}};
    ScriptedFile file;
    bool rootIdentityKnown = true;

    struct Folder final : VolumeFolder {
        Folder(const ScriptedVolume& volume, std::uint64_t object, bool known) : v(volume), object(object), known(known) {}
        ListingStep Next(std::string_view& name, EntryKind& kind, FileIdentity* identity) override {
            const Entries& entries = v.folders.at(object);
            if (at == entries.size()) return ListingStep::End;
            name = entries[at].first;
            kind = entries[at].second == 0 ? EntryKind::File : EntryKind::Folder;
            if (identity != nullptr && entries[at].second != 0) *identity = {7, entries[at].second};
            return ++at, ListingStep::Entry;
        }
        SystemError Error() const override { return {}; }
        bool AccessTimeKept() const override { return true; }
        std::unique_ptr<VolumeFile> OpenFile(std::string_view, const std::string&, SystemError&) const override {
            return std::make_unique<ScriptedFile>(v.file);
        }
        std::optional<FileIdentity> Identity() const override {
            return known ? std::optional(FileIdentity{7, object}) : std::nullopt;
        }
        const ScriptedVolume& v;
        std::uint64_t object;
        bool known;
        std::size_t at = 0;
    };
    Folder Root() const { return {*this, 1, rootIdentityKnown}; }

    char Separator() const override { return '/'; }
    std::string DriveRoot() const override { return {}; }
    bool FolderExists(const std::string&) const override { return true; }
    bool IsPlainEntry(const std::string&) const override { return true; }
    std::unique_ptr<VolumeFolder> OpenRoot(const std::string&, SystemError&) override {
        walk = std::this_thread::get_id();
        return std::make_unique<Folder>(Root());
    }
    std::unique_ptr<VolumeFolder> OpenBelow(const VolumeFolder&, const std::string& path, const FileIdentity& expected,
                                            SystemError&) override {
        if (std::this_thread::get_id() == walk) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::lock_guard lock(mutex);
        opened.insert(path);
        return std::make_unique<Folder>(*this, expected.object, true);
    }
    std::optional<FileIdentity> IdentityOfLocalFolder(const std::string&) const override { return std::nullopt; }
    bool ListsAhead() const override { return true; }
    std::thread::id walk;
    std::mutex mutex;
    std::set<std::string> opened;  // read once the walk is over
};

}  // namespace snapsift::test
