#pragma once

#include "clock.h"
#include "file_system.h"
#include "random_source.h"

#include <cstddef>
#include <cstdint>
#include <random>

namespace vantor::platform {

// How readShared holds a large file's bytes.
enum class LargeFileReading {
    Copy,  // read into fresh memory: the file as it was read, whatever happens to it later
    // Mapped read-only, with no copy: what another program writes into the file shows in the
    // bytes, and a part it cuts off reads as zeros (a fault there no longer ends the process),
    // so the bytes' changed() must be asked once they have been used. This suits short runs,
    // such as a command that loads, exports and exits, and not a window that keeps a table
    // for as long as the user likes.
    Map,
};

// With LargeFileReading::Map, files of this size or more are mapped; smaller ones cost less
// to copy than to map and guard.
inline constexpr std::size_t kMappedFromBytes = std::size_t{8} << 20;

// The file system through the C++ standard library; paths are UTF-8.
class StdFileSystem final : public FileSystem {
public:
    explicit StdFileSystem(LargeFileReading largeFiles = LargeFileReading::Copy,
                           std::uint64_t scratchReserve = kScratchReserveBytes)
        : m_largeFiles(largeFiles), m_scratchReserve(scratchReserve)
    {
    }
    bool exists(const std::string& path) const override;
    bool isDirectory(const std::string& path) const override;
    // A file without any write permission bit counts as read-only even for the superuser.
    bool isWritable(const std::string& path) const override;
    PathKind kindOf(const std::string& path) const override;
    std::optional<std::uint64_t> fileSize(const std::string& path) const override;
    // By device and file number, links followed.
    bool isSameFile(const std::string& a, const std::string& b) const override;
    // Opens without waiting and reads only a plain file: a FIFO or device, also one swapped in
    // after a listing, is refused with a reason, never waited on.
    std::optional<std::string> readAll(const std::string& path, std::string* reason) const override;
    // The location is the open file's own path, from /proc where there is one.
    std::optional<LocatedBytes> readLocated(const std::string& path, std::string* reason) const override;
    std::optional<std::string> resolvedPath(const std::string& path) const override;
    std::vector<FolderEntry> listEntries(const std::string& folder) const override;
    // Large files are mapped (LargeFileReading::Map), or read into fresh memory. Bytes read
    // while the file changed size or was rewritten come with changed() true.
    std::optional<SharedBytes> readShared(const std::string& path, std::string* reason) const override;
    // Read through the file's descriptor; a file that changed while it was read fails at its end.
    std::unique_ptr<InputStream> openStream(const std::string& path, std::string* reason) const override;
    // The bytes go to an unnamed file in the target's folder where the file system has them
    // (nothing is left behind when the process is killed), else to a hidden named one. A
    // symbolic link is written through: the file it points to is replaced, the link stays.
    // A replaced file's permission bits are kept.
    std::unique_ptr<OutputFile> create(const std::string& path, std::string* reason) override;
    // An unnamed file in $TMPDIR, else /var/tmp, else /tmp; the block it gives is mapped. It
    // refuses bytes that would leave its file system less free room than scratchReserve.
    std::unique_ptr<ScratchFile> scratch(std::string* reason) const override;
    bool remove(const std::string& path) override;
    std::vector<std::string> listFiles(const std::string& folder, std::string_view suffix) const override;

private:
    LargeFileReading m_largeFiles;
    std::uint64_t m_scratchReserve;
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
    std::int64_t secondsSinceEpoch() const override;
};

}  // namespace vantor::platform
