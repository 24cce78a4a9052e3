#pragma once

#include "clock.h"
#include "file_system.h"
#include "random_source.h"

#include <random>

namespace vantor::platform {

// How readShared holds a large file's bytes.
enum class LargeFileReading {
    Copy,  // read into fresh memory: safe whatever happens to the file later
    // Mapped read-only, with no copy. The file's size is taken once; if another program shortens
    // the file while the bytes are in use, touching the lost part ends the process (SIGBUS), so
    // this suits short runs, such as a command that loads, exports and exits, and not a
    // window that keeps a table for as long as the user likes.
    Map,
};

// The file system through the C++ standard library; paths are UTF-8.
class StdFileSystem final : public FileSystem {
public:
    explicit StdFileSystem(LargeFileReading largeFiles = LargeFileReading::Copy) : m_largeFiles(largeFiles) {}
    bool exists(const std::string& path) const override;
    bool isDirectory(const std::string& path) const override;
    // A file without any write permission bit counts as read-only even for the superuser.
    bool isWritable(const std::string& path) const override;
    PathKind kindOf(const std::string& path) const override;
    // Opens without waiting and reads only a plain file: a FIFO or device, also one swapped in
    // after a listing, is refused with a reason, never waited on.
    std::optional<std::string> readAll(const std::string& path, std::string* reason) const override;
    // The location is the open file's own path, from /proc where there is one.
    std::optional<LocatedBytes> readLocated(const std::string& path, std::string* reason) const override;
    std::optional<std::string> resolvedPath(const std::string& path) const override;
    std::vector<FolderEntry> listEntries(const std::string& folder) const override;
    // Large files are mapped (LargeFileReading::Map), or read in two halves on two threads: most
    // of the cost of reading is the system handing the process fresh memory, and two cores share that.
    std::optional<SharedBytes> readShared(const std::string& path, std::string* reason) const override;
    // The bytes go to an unnamed file in the target's folder where the file system has them
    // (nothing is left behind when the process is killed), else to a hidden named one. A
    // symbolic link is written through: the file it points to is replaced, the link stays.
    // A replaced file's permission bits are kept.
    std::unique_ptr<OutputFile> create(const std::string& path, std::string* reason) override;
    // An unnamed file in $TMPDIR, else /var/tmp, else /tmp; the block it gives is mapped.
    std::unique_ptr<ScratchFile> scratch(std::string* reason) const override;
    bool remove(const std::string& path) override;
    std::vector<std::string> listFiles(const std::string& folder, std::string_view suffix) const override;

private:
    LargeFileReading m_largeFiles;
};

// Seeded once, from the system's entropy source and the clock, when it is made: one
// instance per program start means identifiers never repeat between starts.
class StdRandomSource final : public RandomSource {
public:
    StdRandomSource();
    float next() override;

private:
    std::mt19937 m_engine;
};

class StdClock final : public Clock {
public:
    LocalTime now() const override;
};

}  // namespace vantor::platform
