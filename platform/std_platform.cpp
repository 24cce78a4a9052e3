#include "std_platform.h"

#include "two_halves.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
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
        if (m_replaced && S_ISREG(status.st_mode)) m_earlier.reset(::open(m_target.c_str(), O_RDONLY | O_CLOEXEC));
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
    explicit StdScratchFile(Descriptor fd) : m_out(std::move(fd)) {}

    void append(std::string_view bytes) override
    {
        m_out.write(bytes);
        m_size += bytes.size();
    }

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
                           std::move(copyOut)};
    }

private:
    DescriptorWriter m_out;
    std::size_t m_size = 0;
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
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        setReason(reason, errnoText(errno));
        return std::nullopt;
    }
    std::string bytes;
    std::error_code sizeError;
    const auto size = fs::file_size(toPath(path), sizeError);
    if (!sizeError) bytes.reserve(static_cast<std::size_t>(size));
    char buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) {
        setReason(reason, errnoText(error));
        return std::nullopt;
    }
    return bytes;
}

std::optional<SharedBytes> StdFileSystem::readShared(const std::string& path, std::string* reason) const
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        setReason(reason, errnoText(errno));
        return std::nullopt;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
        || !isWorthTwoHalves(static_cast<std::size_t>(status.st_size))) {
        return FileSystem::readShared(path, reason);
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    if (m_largeFiles == LargeFileReading::Map) {
        // The pages of the page cache are mapped in one go, so the reader meets no page faults.
        void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (address != MAP_FAILED) {
            std::shared_ptr<const void> owner(address, [size](const void* mapped) {
                ::munmap(const_cast<void*>(mapped), size);
            });
            return SharedBytes{std::move(owner), std::string_view(static_cast<const char*>(address), size), {}};
        }
    }
    // Left uninitialised, so that each page is first touched by the thread that reads into it.
    std::shared_ptr<char[]> buffer(new char[size]);
    const auto readRange = [&](std::size_t from, std::size_t to) {
        while (from < to) {
            const ssize_t got = ::pread(fd, buffer.get() + from, std::min<std::size_t>(to - from, 1 << 20),
                                        static_cast<off_t>(from));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            from += static_cast<std::size_t>(got);
        }
        return true;
    };
    bool firstHalf = false;
    bool secondHalf = false;
    runInTwoHalves([&] { firstHalf = readRange(0, size / 2); }, [&] { secondHalf = readRange(size / 2, size); });
    char probe = 0;
    const bool grew = ::pread(fd, &probe, 1, static_cast<off_t>(size)) != 0;
    // A file that changed size while it was read, or a read that failed, is read again the
    // plain way, which reads to the file's end and reports why it could not.
    if (!firstHalf || !secondHalf || grew) return FileSystem::readShared(path, reason);
    return SharedBytes{std::shared_ptr<const void>(buffer, buffer.get()), std::string_view(buffer.get(), size), {}};
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

PathKind StdFileSystem::kindOf(const std::string& path) const
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return PathKind::Missing;
    if (S_ISREG(status.st_mode)) return PathKind::RegularFile;
    return S_ISDIR(status.st_mode) ? PathKind::Folder : PathKind::Other;
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
        if (fd) return std::make_unique<StdScratchFile>(std::move(fd));
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

}  // namespace vantor::platform
