#pragma once

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/random_source.h"

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vantor::test {

// An in-memory file system. Paths are plain keys; a folder exists when it was added with
// addFolder or holds a file. Writes land only on commit, as with the real one.
class FakeFileSystem final : public platform::FileSystem {
public:
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    std::set<std::string> refuseCreate;   // create() fails for these paths
    std::set<std::string> failCommit;     // commit() fails for these paths
    std::set<std::string> failPrepare;    // prepare() fails for these paths
    // Files another program writes while an output of that path is being written: each
    // appears just before the output's first prepare() or commit.
    std::map<std::string, std::string> appearMeanwhile;
    // What outputs did, in order: "write PATH" (once for a run of writes), "prepare PATH",
    // "commit PATH", "commitNew PATH", "revert PATH".
    std::vector<std::string> operations;
    std::set<std::string> unreadable;     // readAll() fails for these paths
    std::set<std::string> readOnly;       // isWritable() is false for these paths
    std::set<std::string> others;         // devices and FIFOs: kindOf() says Other
    std::set<std::string> changing;       // readShared() gives bytes that changed while they were read
    std::set<std::string> exhausting;     // readAll() runs out of memory (throws std::bad_alloc)
    bool exhaustingKinds = false;         // and so does kindOf() for them
    int openOutputs = 0;                  // outputs created and not yet destroyed
    // Scratch files: refused with this reason when set, else written in memory, each one
    // failing when it is finished with scratchWriteFailure (when set).
    std::optional<std::string> scratchRefusal;
    std::optional<std::string> scratchWriteFailure;
    // When set, scratch files in "/fake-tmp" take this many bytes and refuse more, as the
    // real ones do when their disk's reserve would go.
    std::optional<std::size_t> scratchRoom;

    // Held by every call of the file system and of its outputs, so that threads may share the
    // fake as they share the real one. Tests set the fields above while no run is going.
    mutable std::recursive_mutex guard;

    void addFolder(const std::string& path) { folders.insert(path); }

    bool exists(const std::string& path) const override;
    bool isDirectory(const std::string& path) const override;
    bool isWritable(const std::string& path) const override { return readOnly.count(path) == 0; }
    platform::PathKind kindOf(const std::string& path) const override;
    std::optional<std::uint64_t> fileSize(const std::string& path) const override;
    std::optional<std::string> readAll(const std::string& path, std::string* reason) const override;
    std::optional<platform::SharedBytes> readShared(const std::string& path, std::string* reason) const override;
    std::unique_ptr<platform::OutputFile> create(const std::string& path, std::string* reason) override;
    std::unique_ptr<platform::ScratchFile> scratch(std::string* reason) const override;
    bool remove(const std::string& path) override;
    std::vector<std::string> listFiles(const std::string& folder, std::string_view suffix) const override;
};

// Replays the given draws in a loop; with none, counts up in steps of 1/16 so every hex
// digit appears in turn.
class FakeRandom final : public platform::RandomSource {
public:
    std::vector<float> draws;
    std::size_t position = 0;
    float next() override;
};

class FakeClock final : public platform::Clock {
public:
    platform::LocalTime current{12, 0};
    std::int64_t seconds = 1'700'000'000;  // 2023-11-14 22:13:20 UTC
    platform::LocalTime now() const override { return current; }
    std::int64_t secondsSinceEpoch() const override { return seconds; }
};

}  // namespace vantor::test
