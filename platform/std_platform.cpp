#include "std_platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

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

class StdOutputFile final : public OutputFile {
public:
    StdOutputFile(fs::path target, fs::path temporary, std::FILE* file)
        : m_target(std::move(target)), m_temporary(std::move(temporary)), m_file(file)
    {
    }

    StdOutputFile(const StdOutputFile&) = delete;
    StdOutputFile& operator=(const StdOutputFile&) = delete;

    ~StdOutputFile() override
    {
        if (m_file) std::fclose(m_file);
        if (!m_committed) {
            std::error_code ignored;
            fs::remove(m_temporary, ignored);
        }
    }

    // Small pieces gather in the buffer; a piece at least as large as the buffer goes to the
    // file in one call, without a copy.
    void write(std::string_view bytes) override
    {
        if (!m_file || m_error != 0 || bytes.empty()) return;
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

    bool commit(std::string* reason) override
    {
        if (m_committed) return true;
        if (!m_file) {
            setReason(reason, "the file is already closed");
            return false;
        }
        flush();
        const int closeResult = std::fclose(m_file);
        m_file = nullptr;
        if (m_error == 0 && closeResult != 0) m_error = errno ? errno : EIO;
        if (m_error != 0) {
            setReason(reason, errnoText(m_error));
            return false;
        }
        std::error_code error;
        fs::rename(m_temporary, m_target, error);
        if (error) {
            setReason(reason, error.message());
            return false;
        }
        m_committed = true;
        return true;
    }

private:
    // The file's own stream buffer is off (it would split every write into 4 KiB system
    // calls); this one gathers up to 1 MiB per call.
    static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

    void flush()
    {
        if (m_used > 0 && m_error == 0) writeThrough(m_buffer.get(), m_used);
        m_used = 0;
    }

    void writeThrough(const char* data, std::size_t size)
    {
        if (std::fwrite(data, 1, size, m_file) != size) m_error = errno ? errno : EIO;
    }

    fs::path m_target;
    fs::path m_temporary;
    std::FILE* m_file = nullptr;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    int m_error = 0;
    bool m_committed = false;
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
    constexpr std::size_t kWorthTwoReaders = std::size_t{8} << 20;
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
        || static_cast<std::size_t>(status.st_size) < kWorthTwoReaders) {
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
            return SharedBytes{std::move(owner), std::string_view(static_cast<const char*>(address), size)};
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
    bool secondHalf = false;
    bool firstHalf = false;
    {
        std::thread helper([&] { secondHalf = readRange(size / 2, size); });
        firstHalf = readRange(0, size / 2);
        helper.join();
    }
    char probe = 0;
    const bool grew = ::pread(fd, &probe, 1, static_cast<off_t>(size)) != 0;
    // A file that changed size while it was read, or a read that failed, is read again the
    // plain way, which reads to the file's end and reports why it could not.
    if (!firstHalf || !secondHalf || grew) return FileSystem::readShared(path, reason);
    return SharedBytes{std::shared_ptr<const void>(buffer, buffer.get()), std::string_view(buffer.get(), size)};
}

std::unique_ptr<OutputFile> StdFileSystem::create(const std::string& path, std::string* reason)
{
    const fs::path target = toPath(path);
    if (!target.has_filename()) {
        setReason(reason, "no file name");
        return nullptr;
    }
    // The temporary file sits beside the target so that the final rename stays on one
    // file system and replaces the target in one step.
    static std::atomic<unsigned> counter{0};
    fs::path temporary;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        temporary = target;
        temporary += ".vantor-" + std::to_string(static_cast<unsigned long>(std::time(nullptr)) % 100000u)
            + "-" + std::to_string(++counter) + ".tmp";
        file = std::fopen(fromPath(temporary).c_str(), "wbx");
        if (!file && errno != EEXIST) break;
    }
    if (!file) {
        setReason(reason, errnoText(errno));
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    return std::make_unique<StdOutputFile>(target, temporary, file);
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
