#include "std_platform.h"


#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vantor::platform {

namespace fs = std::filesystem;

namespace {

fs::path toPath(const std::string& path)
{
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string fromPath(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

void setReason(std::string* reason, const std::string& text)
{
    if (reason) *reason = text;
}

std::string errnoText(int error)
{
    return std::generic_category().message(error);
}

// Owns a file descriptor.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other) reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    ~Descriptor() { reset(); }

    [[nodiscard]] int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes it now; the error of close, or 0.
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : (errno ? errno : EIO);
    }

private:
    int m_fd = -1;
};

// The file that path leads to: symbolic links followed, as many as the system follows,
// relative targets read from the link's folder. Nothing (with errno set) when a link
// cannot be read or the chain does not end.
std::optional<std::string> followLinks(std::string path)
{
    constexpr int kMostLinks = 40;
    for (int hop = 0; hop < kMostLinks; ++hop) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        std::string target(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) return std::nullopt;
        if (static_cast<std::size_t>(length) == target.size()) {
            errno = ENAMETOOLONG;  // the link changed while it was read
            return std::nullopt;
        }
        target.resize(static_cast<std::size_t>(length));
        if (!target.starts_with('/')) {
            const auto slash = path.find_last_of('/');
            target = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
        }
        path = std::move(target);
    }
    errno = ELOOP;
    return std::nullopt;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside target that no other file has: the name of a named temporary file, or the
// name an unnamed one is given just before its rename.
std::string temporaryNameFor(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    return target + ".vantor-" + std::to_string(static_cast<long>(::getpid())) + "-" + std::to_string(++counter)
        + ".tmp";
}

// A new file to write beside target: unnamed where the file system allows it (name stays
// empty), else a named one (name set). Sets errno on failure.
Descriptor openTemporary(const std::string& target, std::string& name)
{
    name.clear();
    Descriptor fd(::open(folderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (fd) return fd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryNameFor(target);
        fd.reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd || errno != EEXIST) break;
    }
    if (!fd) name.clear();
    return fd;
}

// Gives an unnamed file the name path, which no file may have; 0 or the error (EEXIST when
// one has it).
int linkInto(const Descriptor& fd, const std::string& path)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    // Without /proc the descriptor itself may serve, where the process is allowed to.
    if (errno == ENOENT && ::linkat(fd.get(), "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
    return errno ? errno : EIO;
}

// Gives an unnamed file a name beside target; 0 or the error.
int nameTemporary(const Descriptor& fd, const std::string& target, std::string& name)
{
    int error = EIO;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryNameFor(target);
        error = linkInto(fd, name);
        if (error != EEXIST) break;
    }
    if (error != 0) name.clear();
    return error;
}

// Flushes a folder's entries to the device; 0 or the error. A file system that cannot flush
// a folder (it says EINVAL) keeps its entries as it does.
int syncFolder(const std::string& folder)
{
    const Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return errno ? errno : EIO;
    if (::fsync(fd.get()) != 0 && errno != EINVAL) return errno ? errno : EIO;
    return 0;
}

// Writes to a descriptor through a buffer of its own (a stream's would split every write
// into 4 KiB system calls): small pieces gather up to 1 MiB per call, a larger piece goes
// through in one call, without a copy. The first failure stops all further writes.
class DescriptorWriter {
public:
    // toDevice: the bytes are headed for the device (an output file, flushed before it is put in
    // place), so the system is asked to start writing them out as they come, every few MiB,
    // and the final flush has little left to wait for.
    explicit DescriptorWriter(Descriptor fd, bool toDevice = false) : m_fd(std::move(fd)), m_toDevice(toDevice) {}

    void write(std::string_view bytes)
    {
        if (!m_fd || m_error != 0 || bytes.empty()) return;
        if (bytes.size() <= kBufferSize - m_used) {
            if (!m_buffer) m_buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
            std::memcpy(m_buffer.get() + m_used, bytes.data(), bytes.size());
            m_used += bytes.size();
            return;
        }
        flush();
        if (bytes.size() >= kBufferSize) {
            writeThrough(bytes.data(), bytes.size());
        } else {
            write(bytes);
        }
    }

    // Writes out what the buffer holds; the first error of all writes so far, or 0.
    int flush()
    {
        if (m_used > 0 && m_error == 0) writeThrough(m_buffer.get(), m_used);
        m_used = 0;
        return m_error;
    }

    [[nodiscard]] Descriptor& descriptor() { return m_fd; }
    void setError(int error) { m_error = error; }

private:
    static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

    void writeThrough(const char* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t done = ::write(m_fd.get(), data, size);
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) {
                m_error = done < 0 && errno ? errno : EIO;
                return;
            }
            data += done;
            size -= static_cast<std::size_t>(done);
            m_written += static_cast<std::size_t>(done);
        }
        if (m_toDevice && m_written - m_startedUpTo >= kWritebackStep) {
            // Only a hint: the system starts the writing and returns; failures show at the flush.
            ::sync_file_range(m_fd.get(), static_cast<off_t>(m_startedUpTo),
                              static_cast<off_t>(m_written - m_startedUpTo), SYNC_FILE_RANGE_WRITE);
            m_startedUpTo = m_written;
        }
    }

    static constexpr std::size_t kWritebackStep = std::size_t{8} << 20;

    Descriptor m_fd;
    bool m_toDevice = false;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    std::size_t m_written = 0;      // bytes written to the descriptor
    std::size_t m_startedUpTo = 0;  // bytes the system was asked to start writing out
    int m_error = 0;
};

class StdOutputFile final : public OutputFile {
public:
    // target: the file to replace, links already followed; fd: the temporary file, named
    // temporaryName or unnamed (empty name).
    StdOutputFile(std::string target, Descriptor fd, std::string temporaryName)
        : m_target(std::move(target)), m_temporaryName(std::move(temporaryName)), m_out(std::move(fd), true)
    {
    }

    StdOutputFile(const StdOutputFile&) = delete;
    StdOutputFile& operator=(const StdOutputFile&) = delete;

    ~StdOutputFile() override
    {
        m_out.descriptor().reset();
        if (!m_committed && !m_temporaryName.empty()) ::unlink(m_temporaryName.c_str());
    }

    void write(std::string_view bytes) override { m_out.write(bytes); }

    bool prepare(std::string* reason) override
    {
        if (m_prepared) return true;
        Descriptor& fd = m_out.descriptor();
        if (!fd) {
            setReason(reason, "the file is already closed");
            return false;
        }
        // The file keeps no name until it is put in place, so a kill meanwhile leaves nothing.
        int error = m_out.flush();
        if (error == 0 && ::fsync(fd.get()) != 0) error = errno ? errno : EIO;
        if (error == 0) error = syncFolder(folderOf(m_target));
        if (error != 0) return fail(reason, error);
        keepEarlier();
        m_prepared = true;
        return true;
    }

    bool commit(std::string* reason) override
    {
        if (m_committed) return true;
        if (!finishWriting(reason)) return false;
        if (::rename(m_temporaryName.c_str(), m_target.c_str()) != 0) {
            setReason(reason, errnoText(errno));
            m_earlier.reset();
            return false;
        }
        // A prepared file's descriptor stays open until the file is destroyed, after the
        // files that go in with it are in place too.
        m_committed = true;
        return true;
    }

    NewFileCommit commitNew(std::string* reason) override
    {
        if (m_committed) return NewFileCommit::Placed;
        Descriptor& fd = m_out.descriptor();
        int error = 0;
        if (fd && m_temporaryName.empty()) {
            // An unnamed file takes the target's name itself: a link never replaces a file.
            error = m_out.flush();
            if (error == 0) error = linkInto(fd, m_target);
        } else {
            if (!finishWriting(reason)) return NewFileCommit::Failed;
            if (::renameat2(AT_FDCWD, m_temporaryName.c_str(), AT_FDCWD, m_target.c_str(), RENAME_NOREPLACE) != 0) {
                error = errno ? errno : EIO;
                if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
                    // A file system without that rename: a second name never replaces either,
                    // and the temporary name then goes.
                    error = ::link(m_temporaryName.c_str(), m_target.c_str()) == 0 ? 0 : (errno ? errno : EIO);
                    if (error == 0) ::unlink(m_temporaryName.c_str());
                }
            }
        }
        if (error != 0) {
            setReason(reason, errnoText(error));
            return error == EEXIST ? NewFileCommit::NameTaken : NewFileCommit::Failed;
        }
        // Nothing was replaced: a revert removes the file again.
        m_replaced = false;
        m_earlier.reset();
        m_committed = true;
        return NewFileCommit::Placed;
    }

    bool revert() override
    {
        if (!m_committed) return false;
        if (!m_replaced) return ::unlink(m_target.c_str()) == 0;
        if (!m_earlier) return false;
        // A copy of the earlier bytes takes the name back, with the earlier permission bits.
        std::string name;
        Descriptor fd = openTemporary(m_target, name);
        if (!fd) return false;
        StdOutputFile copy(m_target, std::move(fd), std::move(name));
        struct stat status {};
        if (::fstat(m_earlier.get(), &status) == 0) copy.keepMode(status.st_mode);
        char block[1 << 16];
        for (off_t offset = 0;;) {
            const ssize_t got = ::pread(m_earlier.get(), block, sizeof block, offset);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return false;
            if (got == 0) break;
            copy.write(std::string_view(block, static_cast<std::size_t>(got)));
            offset += got;
        }
        if (!copy.commit(nullptr)) return false;
        m_committed = false;
        return true;
    }

    // The earlier file's permission bits go to the new one.
    void keepMode(mode_t mode) { ::fchmod(m_out.descriptor().get(), mode & 07777); }

private:
    // Writes out what is buffered and gives the file its temporary name beside the target, so
    // that one rename puts it in place. A file that was not prepared is closed here, so that
    // an error the system reports only at closing comes before it is put in place; a prepared
    // one is on the device already and is closed when it is destroyed, so that nothing stands
    // between its naming and its rename, nor between its rename and the next file's.
    bool finishWriting(std::string* reason)
    {
        if (m_named) return true;
        Descriptor& fd = m_out.descriptor();
        if (!fd) {
            setReason(reason, "the file is already closed");
            return false;
        }
        int error = m_out.flush();
        if (error == 0 && m_temporaryName.empty()) error = nameTemporary(fd, m_target, m_temporaryName);
        if (!m_prepared) {
            const int closeError = fd.close();
            if (error == 0) error = closeError;
        }
        if (error != 0) return fail(reason, error);
        if (!m_prepared) keepEarlier();
        m_named = true;
        return true;
    }

    // The earlier file's bytes stay reachable through an open descriptor once its name points
    // to the new file, for revert().
    void keepEarlier()
    {
        struct stat status {};
        m_replaced = ::lstat(m_target.c_str(), &status) == 0;
        m_earlier.reset();
        if (m_replaced && S_ISREG(status.st_mode)) {
            // Without waiting: a FIFO may have taken the name since it was looked at.
            m_earlier.reset(::open(m_target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            if (m_earlier && (::fstat(m_earlier.get(), &status) != 0 || !S_ISREG(status.st_mode))) m_earlier.reset();
        }
    }

    bool fail(std::string* reason, int error)
    {
        m_out.setError(error);
        setReason(reason, errnoText(error));
        return false;
    }

    std::string m_target;
    std::string m_temporaryName;  // empty while the file has no name
    DescriptorWriter m_out;
    Descriptor m_earlier;         // the file that the commit replaced, while it is kept
    bool m_replaced = false;      // a file stood at the target when the file was prepared or closed
    bool m_prepared = false;      // on the device, waiting (unnamed where it can) for its name
    bool m_named = false;         // one rename puts it in place
    bool m_committed = false;
};

// A scratch file: an unnamed file in the folder for temporary files, which the system
// removes with the last descriptor or mapping, even when the process is killed. Its block is
// mapped, and copied out with pread where a reader takes many scattered stretches.
class StdScratchFile final : public ScratchFile {
public:
    StdScratchFile(Descriptor fd, std::string folder, std::uint64_t reserve)
        : m_out(std::move(fd)), m_folder(std::move(folder)), m_reserve(reserve)
    {
    }

    bool append(std::string_view bytes) override
    {
        if (!leavesReserve(bytes.size())) return false;
        m_out.write(bytes);
        m_size += bytes.size();
        m_sinceCheck += bytes.size();
        return true;
    }

    std::string folder() const override { return m_folder; }

    std::optional<SharedBytes> finish(std::string* reason) override
    {
        const int error = m_out.flush();
        if (error != 0) {
            setReason(reason, errnoText(error));
            return std::nullopt;
        }
        if (m_size == 0) return SharedBytes{};
        const std::size_t size = m_size;
        void* address = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, m_out.descriptor().get(), 0);
        if (address == MAP_FAILED) {
            setReason(reason, errnoText(errno));
            return std::nullopt;
        }
        std::shared_ptr<const void> owner(address, [size](const void* mapped) {
            ::munmap(const_cast<void*>(mapped), size);
        });
        auto fd = std::make_shared<Descriptor>(std::move(m_out.descriptor()));
        auto copyOut = [fd, size](std::size_t offset, std::size_t count, char* into) {
            if (offset > size || count > size - offset) return false;
            while (count > 0) {
                const ssize_t got = ::pread(fd->get(), into, count, static_cast<off_t>(offset));
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) return false;
                into += got;
                offset += static_cast<std::size_t>(got);
                count -= static_cast<std::size_t>(got);
            }
            return true;
        };
        return SharedBytes{std::move(owner), std::string_view(static_cast<const char*>(address), size),
                           std::move(copyOut), {}};
    }

private:
    // Whether count more bytes leave the reserve free. The file system's free room is asked
    // again after every 16 MiB and whenever the bytes written since would not leave it; a file
    // system that cannot tell is left to report a full disk when written.
    bool leavesReserve(std::size_t count)
    {
        constexpr std::uint64_t kCheckEvery = std::uint64_t{16} << 20;
        const auto fits = [&] { return m_free >= m_reserve && m_free - m_reserve >= m_sinceCheck + count; };
        if (m_known && m_sinceCheck < kCheckEvery && fits()) return true;
        if (m_out.flush() != 0) return true;  // the write error is reported when finished
        struct statvfs room {};
        if (::fstatvfs(m_out.descriptor().get(), &room) != 0) return true;
        m_known = true;
        m_free = static_cast<std::uint64_t>(room.f_bavail) * room.f_frsize;
        m_sinceCheck = 0;
        return fits();
    }

    DescriptorWriter m_out;
    std::string m_folder;
    std::uint64_t m_reserve;
    std::size_t m_size = 0;
    bool m_known = false;         // m_free has been asked
    std::uint64_t m_free = 0;     // the file system's free room when last asked
    std::uint64_t m_sinceCheck = 0;  // bytes appended since
};

// The folders tried for scratch files, in order: $TMPDIR, then /var/tmp (meant for large
// temporary files, and on disk where /tmp may be memory), then /tmp.
std::vector<std::string> scratchFolders()
{
    std::vector<std::string> folders;
    if (const char* chosen = std::getenv("TMPDIR"); chosen && *chosen) folders.emplace_back(chosen);
    folders.emplace_back("/var/tmp");
    folders.emplace_back("/tmp");
    return folders;
}

// Opens path for reading when it is a plain file. It is looked at first, so that a device
// or FIFO is never opened; it is opened without waiting, so that one swapped in meanwhile
// cannot hold the open (a FIFO without a writer would, for ever); and what was opened is
// looked at again. Nothing (with the reason) for anything but a plain file.
Descriptor openPlainFile(const std::string& path, std::string* reason)
{
    const auto refuse = [reason](const struct stat& status) {
        setReason(reason, S_ISDIR(status.st_mode) ? errnoText(EISDIR) : std::string("not a regular file"));
        return Descriptor();
    };
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return refuse(status);
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        setReason(reason, errnoText(errno));
        return fd;
    }
    if (::fstat(fd.get(), &status) != 0) {
        setReason(reason, errnoText(errno));
        return Descriptor();
    }
    if (!S_ISREG(status.st_mode)) return refuse(status);
    return fd;
}

// Every byte from the descriptor's position to the file's end.
std::optional<std::string> readToEnd(const Descriptor& fd, std::string* reason)
{
    std::string bytes;
    struct stat status {};
    if (::fstat(fd.get(), &status) == 0 && status.st_size > 0) bytes.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[1 << 16];
    while (true) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            setReason(reason, errnoText(errno));
            return std::nullopt;
        }
        if (got == 0) return bytes;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

// What a symbolic link holds; nothing when it is none or cannot be read.
std::optional<std::string> linkTarget(const std::string& link)
{
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) == target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(length));
    return target;
}

// Whether a file's status after reading differs from before in what a rewrite changes.
bool differs(const struct stat& before, const struct stat& after)
{
    return before.st_size != after.st_size || before.st_mtim.tv_sec != after.st_mtim.tv_sec
        || before.st_mtim.tv_nsec != after.st_mtim.tv_nsec || before.st_ino != after.st_ino;
}

// One mapping under the page guard.
struct GuardSlot {
    std::atomic<std::uintptr_t> begin{0};  // 0: no mapping
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> damaged{false};
    std::atomic<bool> taken{false};
};

// Mapped input files may lose pages while they are in use: when another program shortens a
// file that this one has mapped, touching the lost part raises SIGBUS, which ends the process.
// The guard answers such a fault inside a guarded mapping with a page of zeros in place of the
// lost one and marks the mapping, whose reader then reports the file as changed. A fault
// anywhere else comes again under the disposition there was before. The handler serves the
// whole process and is installed with the first guard.
class PageGuard {
public:
    // Guards [begin, begin + size); the slot to ask and release, or -1 when none is free.
    static int guard(const void* begin, std::size_t size)
    {
        static std::once_flag installed;
        std::call_once(installed, install);
        if (!s_installed) return -1;
        for (int i = 0; i < kSlots; ++i) {
            bool free = false;
            if (!s_slots[i].taken.compare_exchange_strong(free, true)) continue;
            const auto start = reinterpret_cast<std::uintptr_t>(begin);
            s_slots[i].damaged.store(false);
            s_slots[i].end.store(start + size);
            s_slots[i].begin.store(start, std::memory_order_release);
            return i;
        }
        return -1;
    }
    static bool damaged(int slot) { return s_slots[slot].damaged.load(); }
    static void release(int slot)
    {
        s_slots[slot].begin.store(0, std::memory_order_release);
        s_slots[slot].taken.store(false);
    }

private:
    using Slot = GuardSlot;
    static constexpr int kSlots = 32;
    static inline Slot s_slots[kSlots];
    static inline struct sigaction s_previous {};
    static inline std::uintptr_t s_pageSize = 4096;
    static inline bool s_installed = false;

    static void install()
    {
        s_pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onFault;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        s_installed = ::sigaction(SIGBUS, &action, &s_previous) == 0;
    }

    static void onFault(int /*signal*/, siginfo_t* info, void* /*context*/)
    {
        const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
        for (Slot& slot : s_slots) {
            const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
            if (begin == 0 || address < begin || address >= slot.end.load()) continue;
            void* page = reinterpret_cast<void*>(address & ~(s_pageSize - 1));
            if (::mmap(page, s_pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) break;
            slot.damaged.store(true);
            return;
        }
        ::sigaction(SIGBUS, &s_previous, nullptr);
        if (info->si_code <= 0) ::raise(SIGBUS);  // sent, not a fault: it would not come again
    }
};

// A large input file mapped read-only under the page guard, with the descriptor and status it
// was mapped with, so that a rewrite since can be told.
class GuardedMapping {
public:
    // The file's bytes, mapped; nothing when it cannot be mapped or guarded.
    static std::optional<SharedBytes> map(Descriptor& fd, const struct stat& status)
    {
        const auto size = static_cast<std::size_t>(status.st_size);
        // The pages of the page cache are mapped in one go, so the reader meets no page faults.
        void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd.get(), 0);
        if (address == MAP_FAILED) return std::nullopt;
        const int slot = PageGuard::guard(address, size);
        if (slot < 0) {
            ::munmap(address, size);
            return std::nullopt;
        }
        auto mapping = std::make_shared<GuardedMapping>(address, size, slot, std::move(fd), status);
        const std::string_view bytes(static_cast<const char*>(address), size);
        return SharedBytes{std::shared_ptr<const void>(mapping, address), bytes, {},
                           [mapping] { return mapping->changed(); }};
    }

    GuardedMapping(void* address, std::size_t size, int slot, Descriptor fd, const struct stat& status)
        : m_address(address), m_size(size), m_slot(slot), m_fd(std::move(fd)), m_status(status)
    {
    }
    GuardedMapping(const GuardedMapping&) = delete;
    GuardedMapping& operator=(const GuardedMapping&) = delete;
    ~GuardedMapping()
    {
        ::munmap(m_address, m_size);
        PageGuard::release(m_slot);
    }

    // Whether a page vanished, or the file was rewritten since it was mapped (a mapping shows
    // what another program writes into the file).
    [[nodiscard]] bool changed() const
    {
        if (PageGuard::damaged(m_slot)) return true;
        struct stat now {};
        return ::fstat(m_fd.get(), &now) != 0 || differs(m_status, now);
    }

private:
    void* m_address;
    std::size_t m_size;
    int m_slot;
    Descriptor m_fd;
    struct stat m_status;
};

// A file read through its descriptor; at its end the file must still be as it was opened.
class StdInputStream final : public InputStream {
public:
    StdInputStream(Descriptor fd, const struct stat& status) : m_fd(std::move(fd)), m_status(status) {}

    std::optional<std::size_t> read(char* into, std::size_t size, std::string* reason) override
    {
        ssize_t got = 0;
        do {
            got = ::read(m_fd.get(), into, size);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            setReason(reason, errnoText(errno));
            return std::nullopt;
        }
        m_done += static_cast<std::uint64_t>(got);
        if (!S_ISREG(m_status.st_mode)) return static_cast<std::size_t>(got);
        struct stat now {};
        const bool atEnd = got == 0 || m_done > static_cast<std::uint64_t>(m_status.st_size);
        if (atEnd && (m_done != static_cast<std::uint64_t>(m_status.st_size) || ::fstat(m_fd.get(), &now) != 0
                      || differs(m_status, now))) {
            m_changed = true;
            setReason(reason, "the file changed while it was read");
            return std::nullopt;
        }
        return static_cast<std::size_t>(got);
    }

    bool changed() const override { return m_changed; }

private:
    Descriptor m_fd;
    struct stat m_status;
    std::uint64_t m_done = 0;
    bool m_changed = false;
};

}  // namespace

bool StdFileSystem::exists(const std::string& path) const
{
    std::error_code error;
    return fs::is_regular_file(toPath(path), error);
}

bool StdFileSystem::isDirectory(const std::string& path) const
{
    std::error_code error;
    return fs::is_directory(toPath(path), error);
}

bool StdFileSystem::isWritable(const std::string& path) const
{
    std::error_code error;
    const fs::perms permissions = fs::status(toPath(path), error).permissions();
    if (error) return false;
    constexpr fs::perms kAnyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (permissions & kAnyWrite) != fs::perms::none && ::access(path.c_str(), W_OK) == 0;
}

std::optional<std::string> StdFileSystem::readAll(const std::string& path, std::string* reason) const
{
    const Descriptor fd = openPlainFile(path, reason);
    if (!fd) return std::nullopt;
    return readToEnd(fd, reason);
}

std::optional<LocatedBytes> StdFileSystem::readLocated(const std::string& path, std::string* reason) const
{
    const Descriptor fd = openPlainFile(path, reason);
    if (!fd) return std::nullopt;
    // The open file says where it lies, whatever the name leads to by now. When that place no
    // longer holds the file (it was replaced or removed meanwhile), the place the name leads
    // to now is given, so that whoever writes there looks at what stands there.
    std::string location = linkTarget("/proc/self/fd/" + std::to_string(fd.get())).value_or("");
    struct stat opened {};
    struct stat named {};
    const bool stillThere = location.starts_with('/') && ::fstat(fd.get(), &opened) == 0 &&
                            ::stat(location.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
                            named.st_ino == opened.st_ino;
    if (!stillThere) {
        auto resolved = resolvedPath(path);
        if (!resolved) {
            setReason(reason, errnoText(errno ? errno : ENOENT));
            return std::nullopt;
        }
        location = std::move(*resolved);
    }
    auto bytes = readToEnd(fd, reason);
    if (!bytes) return std::nullopt;
    return LocatedBytes{std::move(*bytes), std::move(location)};
}

std::optional<std::string> StdFileSystem::resolvedPath(const std::string& path) const
{
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) return std::nullopt;
    return std::string(resolved.get());
}

std::vector<FolderEntry> StdFileSystem::listEntries(const std::string& folder) const
{
    std::vector<FolderEntry> entries;
    std::error_code error;
    for (fs::directory_iterator it(toPath(folder), error), end; !error && it != end; it.increment(error)) {
        FolderEntry entry;
        entry.name = fromPath(it->path().filename());
        std::error_code typeError;
        entry.symbolicLink = it->is_symlink(typeError);
        entry.kind = kindOf(fromPath(it->path()));
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

std::optional<SharedBytes> StdFileSystem::readShared(const std::string& path, std::string* reason) const
{
    Descriptor fd = openPlainFile(path, reason);
    if (!fd) return std::nullopt;
    struct stat before {};
    if (::fstat(fd.get(), &before) != 0) {
        setReason(reason, errnoText(errno));
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(before.st_size);
    if (m_largeFiles == LargeFileReading::Map && size >= kMappedFromBytes) {
        if (auto mapped = GuardedMapping::map(fd, before)) return mapped;
    }
    // Left uninitialised: every byte is read into it.
    std::shared_ptr<char[]> buffer(new char[std::max<std::size_t>(size, 1)]);
    int error = 0;           // a read that failed
    bool shortened = false;  // the file ended before its size
    for (std::size_t from = 0; from < size;) {
        const ssize_t got =
            ::pread(fd.get(), buffer.get() + from, std::min<std::size_t>(size - from, 1 << 20), static_cast<off_t>(from));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) error = errno ? errno : EIO;
            shortened = got == 0;
            break;
        }
        from += static_cast<std::size_t>(got);
    }
    if (error != 0) {
        setReason(reason, errnoText(error));
        return std::nullopt;
    }
    char probe = 0;
    const bool grew = ::pread(fd.get(), &probe, 1, static_cast<off_t>(size)) != 0;
    struct stat after {};
    const bool changed = shortened || grew || ::fstat(fd.get(), &after) != 0 || differs(before, after);
    SharedBytes bytes{std::shared_ptr<const void>(buffer, buffer.get()), std::string_view(buffer.get(), size), {}, {}};
    if (changed) bytes.changed = [] { return true; };
    return bytes;
}

std::unique_ptr<InputStream> StdFileSystem::openStream(const std::string& path, std::string* reason) const
{
    Descriptor fd = openPlainFile(path, reason);
    if (!fd) return nullptr;
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        setReason(reason, errnoText(errno));
        return nullptr;
    }
    return std::make_unique<StdInputStream>(std::move(fd), status);
}

std::unique_ptr<OutputFile> StdFileSystem::create(const std::string& path, std::string* reason)
{
    if (path.empty() || path.ends_with('/')) {
        setReason(reason, "no file name");
        return nullptr;
    }
    const auto target = followLinks(path);
    if (!target) {
        setReason(reason, errnoText(errno));
        return nullptr;
    }
    struct stat status {};
    const bool existing = ::stat(target->c_str(), &status) == 0;
    if (existing && S_ISDIR(status.st_mode)) {
        setReason(reason, errnoText(EISDIR));
        return nullptr;
    }
    if (existing && !S_ISREG(status.st_mode)) {
        setReason(reason, "not a regular file");
        return nullptr;
    }
    // The temporary file sits beside the target so that the final rename stays on one
    // file system and replaces the target in one step.
    std::string name;
    Descriptor fd = openTemporary(*target, name);
    if (!fd) {
        setReason(reason, errnoText(errno));
        return nullptr;
    }
    auto file = std::make_unique<StdOutputFile>(*target, std::move(fd), std::move(name));
    if (existing) file->keepMode(status.st_mode);
    return file;
}

std::optional<std::uint64_t> StdFileSystem::fileSize(const std::string& path) const
{
    std::error_code error;
    const auto size = fs::file_size(toPath(path), error);
    if (error) return std::nullopt;
    return size;
}

PathKind StdFileSystem::kindOf(const std::string& path) const
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return PathKind::Missing;
    if (S_ISREG(status.st_mode)) return PathKind::RegularFile;
    return S_ISDIR(status.st_mode) ? PathKind::Folder : PathKind::Other;
}

bool StdFileSystem::isSameFile(const std::string& a, const std::string& b) const
{
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

std::unique_ptr<ScratchFile> StdFileSystem::scratch(std::string* reason) const
{
    int error = ENOENT;
    for (const std::string& folder : scratchFolders()) {
        Descriptor fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (!fd) {
            // Without unnamed files, a named one is removed at once and lives on unnamed.
            std::string name = folder + "/vantor-scratch-XXXXXX";
            fd.reset(::mkostemp(name.data(), O_CLOEXEC));
            if (fd) ::unlink(name.c_str());
        }
        if (fd) return std::make_unique<StdScratchFile>(std::move(fd), folder, m_scratchReserve);
        error = errno ? errno : EIO;
    }
    setReason(reason, errnoText(error));
    return nullptr;
}

bool StdFileSystem::remove(const std::string& path)
{
    std::error_code error;
    fs::remove(toPath(path), error);
    return !error;
}

std::vector<std::string> StdFileSystem::listFiles(const std::string& folder, std::string_view suffix) const
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(toPath(folder), error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string name = fromPath(it->path().filename());
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

StdRandomSource::StdRandomSource()
{
    std::random_device device;
    const auto ticks = static_cast<std::uint32_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), device(), device(), ticks};
    m_engine.seed(seed);
}

float StdRandomSource::next()
{
    // 24 random bits make every float in [0, 1) on a grid of 2^-24, never 1 itself.
    return static_cast<float>(m_engine() >> 8) * (1.0f / 16777216.0f);
}

LocalTime StdClock::now() const
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return LocalTime{local.tm_hour, local.tm_min};
}

std::int64_t StdClock::secondsSinceEpoch() const { return static_cast<std::int64_t>(std::time(nullptr)); }

}  // namespace vantor::platform
