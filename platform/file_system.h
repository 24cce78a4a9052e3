#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantor::platform {

// What OutputFile::commitNew did.
enum class NewFileCommit {
    Placed,
    NameTaken,  // a file had the target's name by then: it was left as it is
    Failed,
};

// A file being written. Bytes go to a temporary file in the target's folder; commit() puts
// it in place of the target in one rename. Destroying it without a commit removes the
// temporary file, so a failed write never leaves a half-written file or harms an earlier one.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual void write(std::string_view bytes) = 0;
    // Readies the file to be put in place: writes out what is buffered and flushes the file,
    // then its folder, to the device. Files that belong together are all prepared first and
    // committed back to back, so that a full disk finds them all in place or none, and a
    // kill only in the moment between two renames finds some new and some old. False (with
    // the reason) when any write failed.
    [[nodiscard]] virtual bool prepare(std::string* /*reason*/ = nullptr) { return true; }
    // Writes out what is buffered and renames the file into place, replacing a file of the
    // target's name; false (with the reason) when any write failed.
    [[nodiscard]] virtual bool commit(std::string* reason = nullptr) = 0;
    // As commit(), but never replaces: a file that has the target's name by then stays, and
    // this one is dropped. By default it cannot be done, and nothing is put in place.
    [[nodiscard]] virtual NewFileCommit commitNew(std::string* reason = nullptr)
    {
        if (reason) *reason = "this file system cannot put a file in place without replacing";
        return NewFileCommit::Failed;
    }
    // After a commit: puts back what the commit replaced, the earlier file with its bytes
    // and permissions or no file at all, for a run whose other file could not be put in
    // place. False when it could not (or this kind of file cannot).
    virtual bool revert() { return false; }
};

// What a path names.
enum class PathKind {
    Missing,
    RegularFile,
    Folder,
    Other,  // a device, a FIFO, a socket: nothing to read as a file
};

// One entry of a folder as it is listed.
struct FolderEntry {
    std::string name;                   // without the folder
    PathKind kind = PathKind::Missing;  // what the name leads to, links followed: Missing for a link to nothing
    bool symbolicLink = false;
    friend bool operator==(const FolderEntry&, const FolderEntry&) = default;
};

// A file's bytes and where they were really read: the file's path with every symbolic link resolved.
struct LocatedBytes {
    std::string bytes;
    std::string location;
};

// A file's bytes held as one block, and what keeps that block alive.
struct SharedBytes {
    std::shared_ptr<const void> owner;
    std::string_view bytes;
    // Set for a block mapped from a file whose scattered stretches are better copied out of
    // the file than read in place: reading a stretch of a mapping maps in its neighbours
    // too. Copies bytes [offset, offset + size) of the block to into; false when it cannot.
    std::function<bool(std::size_t offset, std::size_t size, char* into)> copyOut;
    // Set for bytes that may not be the file's as it stood when reading began: a block
    // mapped from a file that another program may rewrite or shorten while it is in use, or
    // bytes read while the file changed. True once they may differ.
    std::function<bool()> changed;
};

// A file read from its start to its end in pieces, for inputs not worth holding whole.
class InputStream {
public:
    virtual ~InputStream() = default;
    // Up to size bytes into into; 0 at the end; nothing (with the reason) when the file
    // cannot be read or changed while it was read (then changed() says so).
    [[nodiscard]] virtual std::optional<std::size_t> read(char* into, std::size_t size,
                                                          std::string* reason = nullptr) = 0;
    // Whether the file changed (was rewritten, shortened or grew) while it was read.
    [[nodiscard]] virtual bool changed() const { return false; }
};

// A stream over bytes held in memory.
class MemoryInputStream final : public InputStream {
public:
    explicit MemoryInputStream(std::string bytes) : m_bytes(std::move(bytes)) {}
    std::optional<std::size_t> read(char* into, std::size_t size, std::string* /*reason*/) override
    {
        const std::size_t count = std::min(size, m_bytes.size() - m_at);
        std::copy_n(m_bytes.data() + m_at, count, into);
        m_at += count;
        return count;
    }

private:
    std::string m_bytes;
    std::size_t m_at = 0;
};

// The free room that unpacking into a scratch file must leave on its file system.
inline constexpr std::uint64_t kScratchReserveBytes = std::uint64_t{1} << 30;

// Room for more bytes than are worth keeping in memory, such as the unpacked objects of a
// region archive: bytes are appended, then had back as one read-only block. The file
// system's own keeps them in an unnamed file and maps it, so that only the parts being read
// take memory; by default they stay in memory.
class ScratchFile {
public:
    virtual ~ScratchFile() = default;
    // Appends bytes; false, and nothing appended, when they would leave the file system that
    // holds the scratch file with less free room than its reserve (kScratchReserveBytes).
    [[nodiscard]] virtual bool append(std::string_view bytes) = 0;
    // The folder that holds the scratch file, for messages; empty for one in memory.
    [[nodiscard]] virtual std::string folder() const { return {}; }
    // Everything appended, as one block; nothing (with the reason) when a write failed.
    [[nodiscard]] virtual std::optional<SharedBytes> finish(std::string* reason = nullptr) = 0;
};

// The in-memory scratch file.
class MemoryScratchFile final : public ScratchFile {
public:
    bool append(std::string_view bytes) override
    {
        m_bytes.append(bytes);
        return true;
    }
    std::optional<SharedBytes> finish(std::string* /*reason*/) override
    {
        auto owner = std::make_shared<const std::string>(std::move(m_bytes));
        return SharedBytes{owner, *owner, {}, {}};
    }

private:
    std::string m_bytes;
};

// The files and folders the program reads and writes. One file system is used from several
// threads at once (a conversion or a load on a worker while the window asks about paths, an
// export's two halves), so every implementation, test fakes included, must be safe for that.
// The OutputFile, ScratchFile and InputStream it hands out are each used by one thread at a time.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    [[nodiscard]] virtual bool exists(const std::string& path) const = 0;
    [[nodiscard]] virtual bool isDirectory(const std::string& path) const = 0;
    // Whether an existing file may be replaced: false for a read-only file, which a rename
    // into place would otherwise replace all the same. By default every file may be.
    [[nodiscard]] virtual bool isWritable(const std::string& /*path*/) const { return true; }
    // What the path names, symbolic links followed. By default from exists and isDirectory.
    [[nodiscard]] virtual PathKind kindOf(const std::string& path) const
    {
        if (exists(path)) return PathKind::RegularFile;
        return isDirectory(path) ? PathKind::Folder : PathKind::Missing;
    }
    // The size of the plain file at path in bytes; nothing when it cannot tell. By default nothing.
    [[nodiscard]] virtual std::optional<std::uint64_t> fileSize(const std::string& /*path*/) const
    {
        return std::nullopt;
    }
    // Whether both paths name one existing file, under two names or through a link included.
    // By default when the paths are equal and the file exists.
    [[nodiscard]] virtual bool isSameFile(const std::string& a, const std::string& b) const
    {
        return a == b && exists(a);
    }
    // The file's bytes, unchanged; nothing (with the reason) when it cannot be read or is no
    // plain file.
    [[nodiscard]] virtual std::optional<std::string> readAll(const std::string& path,
                                                             std::string* reason = nullptr) const = 0;
    // The file's bytes as one shared block, for large inputs that are kept as they are read;
    // nothing (with the reason) when it cannot be read. By default the bytes of readAll.
    [[nodiscard]] virtual std::optional<SharedBytes> readShared(const std::string& path,
                                                                std::string* reason = nullptr) const
    {
        auto bytes = readAll(path, reason);
        if (!bytes) return std::nullopt;
        auto owner = std::make_shared<const std::string>(std::move(*bytes));
        return SharedBytes{owner, *owner, {}, {}};
    }
    // The file's bytes as a stream; nothing (with the reason) when it cannot be opened. By
    // default a stream over the bytes of readAll.
    [[nodiscard]] virtual std::unique_ptr<InputStream> openStream(const std::string& path,
                                                                  std::string* reason = nullptr) const
    {
        auto bytes = readAll(path, reason);
        if (!bytes) return nullptr;
        return std::make_unique<MemoryInputStream>(std::move(*bytes));
    }
    // Starts writing path anew; nothing (with the reason) when the file cannot be created.
    [[nodiscard]] virtual std::unique_ptr<OutputFile> create(const std::string& path,
                                                             std::string* reason = nullptr) = 0;
    // A new scratch file; nothing (with the reason) when none can be made. By default one in memory.
    [[nodiscard]] virtual std::unique_ptr<ScratchFile> scratch(std::string* /*reason*/ = nullptr) const
    {
        return std::make_unique<MemoryScratchFile>();
    }
    // Deletes a file; false when it was there and could not be removed.
    virtual bool remove(const std::string& path) = 0;
    // Names (without folder) of the plain files in folder whose name ends with suffix
    // (every file for an empty suffix), in name order.
    [[nodiscard]] virtual std::vector<std::string> listFiles(const std::string& folder,
                                                             std::string_view suffix = {}) const = 0;
    // Every entry of folder, whatever it is (files, folders, links, FIFOs, devices), in name
    // order. By default the plain files of listFiles.
    [[nodiscard]] virtual std::vector<FolderEntry> listEntries(const std::string& folder) const
    {
        std::vector<FolderEntry> entries;
        for (std::string& name : listFiles(folder)) entries.push_back({std::move(name), PathKind::RegularFile, false});
        return entries;
    }
    // The path with every symbolic link, "." and ".." resolved; nothing when it leads to
    // nothing. By default the path itself when it names a file or folder.
    [[nodiscard]] virtual std::optional<std::string> resolvedPath(const std::string& path) const
    {
        if (kindOf(path) == PathKind::Missing) return std::nullopt;
        return path;
    }
    // Reads a plain file as readAll does and says where its bytes really came from, found
    // through the file that was read, so that a name changed meanwhile cannot mislead. By
    // default the bytes of readAll, located at path.
    [[nodiscard]] virtual std::optional<LocatedBytes> readLocated(const std::string& path,
                                                                  std::string* reason = nullptr) const
    {
        auto bytes = readAll(path, reason);
        if (!bytes) return std::nullopt;
        return LocatedBytes{std::move(*bytes), path};
    }
};

}  // namespace vantor::platform
