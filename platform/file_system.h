#pragma once

#include <cstddef>
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

// A file's bytes held as one block, and what keeps that block alive.
struct SharedBytes {
    std::shared_ptr<const void> owner;
    std::string_view bytes;
    // Set for a block mapped from a file whose scattered stretches are better copied out of
    // the file than read in place: reading a stretch of a mapping maps in its neighbours
    // too. Copies bytes [offset, offset + size) of the block to into; false when it cannot.
    std::function<bool(std::size_t offset, std::size_t size, char* into)> copyOut;
};

// Room for more bytes than are worth keeping in memory, such as the unpacked objects of a
// region archive: bytes are appended, then had back as one read-only block. The file
// system's own keeps them in an unnamed file and maps it, so that only the parts being read
// take memory; by default they stay in memory.
class ScratchFile {
public:
    virtual ~ScratchFile() = default;
    virtual void append(std::string_view bytes) = 0;
    // Everything appended, as one block; nothing (with the reason) when a write failed.
    [[nodiscard]] virtual std::optional<SharedBytes> finish(std::string* reason = nullptr) = 0;
};

// The in-memory scratch file.
class MemoryScratchFile final : public ScratchFile {
public:
    void append(std::string_view bytes) override { m_bytes.append(bytes); }
    std::optional<SharedBytes> finish(std::string* /*reason*/) override
    {
        auto owner = std::make_shared<const std::string>(std::move(m_bytes));
        return SharedBytes{owner, *owner, {}};
    }

private:
    std::string m_bytes;
};

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
    // The file's bytes, unchanged; nothing (with the reason) when it cannot be read.
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
        return SharedBytes{owner, *owner, {}};
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
};

}  // namespace vantor::platform
