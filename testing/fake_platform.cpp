#include "testing/fake_platform.h"

#include <mutex>
#include <new>

namespace vantor::test {

namespace {

class FakeOutputFile final : public platform::OutputFile {
public:
    FakeOutputFile(FakeFileSystem& owner, std::string path) : m_owner(owner), m_path(std::move(path))
    {
        const std::lock_guard lock(m_owner.guard);
        ++m_owner.openOutputs;
    }
    ~FakeOutputFile() override
    {
        const std::lock_guard lock(m_owner.guard);
        --m_owner.openOutputs;
    }

    void write(std::string_view bytes) override
    {
        const std::lock_guard lock(m_owner.guard);
        note("write");
        m_buffer.append(bytes);
    }

    bool prepare(std::string* reason) override
    {
        const std::lock_guard lock(m_owner.guard);
        note("prepare");
        arriveMeanwhile();
        if (m_owner.failPrepare.count(m_path) != 0) {
            if (reason) *reason = "disk full";
            return false;
        }
        return true;
    }

    bool commit(std::string* reason) override
    {
        const std::lock_guard lock(m_owner.guard);
        note("commit");
        arriveMeanwhile();
        if (m_owner.failCommit.count(m_path) != 0) {
            if (reason) *reason = "disk full";
            return false;
        }
        const auto earlier = m_owner.files.find(m_path);
        if (earlier != m_owner.files.end()) m_earlier = earlier->second;
        m_owner.files[m_path] = m_buffer;
        m_committed = true;
        return true;
    }

    platform::NewFileCommit commitNew(std::string* reason) override
    {
        const std::lock_guard lock(m_owner.guard);
        note("commitNew");
        arriveMeanwhile();
        if (m_owner.failCommit.count(m_path) != 0) {
            if (reason) *reason = "disk full";
            return platform::NewFileCommit::Failed;
        }
        if (m_owner.files.count(m_path) != 0) {
            if (reason) *reason = "File exists";
            return platform::NewFileCommit::NameTaken;
        }
        m_owner.files[m_path] = m_buffer;
        m_committed = true;
        return platform::NewFileCommit::Placed;
    }

    bool revert() override
    {
        const std::lock_guard lock(m_owner.guard);
        note("revert");
        if (!m_committed) return false;
        if (m_earlier) {
            m_owner.files[m_path] = *m_earlier;
        } else {
            m_owner.files.erase(m_path);
        }
        m_committed = false;
        return true;
    }

private:
    void note(const char* what)
    {
        std::string entry = std::string(what) + " " + m_path;
        if (m_owner.operations.empty() || m_owner.operations.back() != entry) m_owner.operations.push_back(entry);
    }
    void arriveMeanwhile()
    {
        const auto arriving = m_owner.appearMeanwhile.find(m_path);
        if (arriving == m_owner.appearMeanwhile.end()) return;
        m_owner.files[m_path] = arriving->second;
        m_owner.appearMeanwhile.erase(arriving);
    }

    std::optional<std::string> m_earlier;
    bool m_committed = false;
    FakeFileSystem& m_owner;
    std::string m_path;
    std::string m_buffer;
};

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string{} : path.substr(0, slash);
}

}  // namespace

bool FakeFileSystem::exists(const std::string& path) const
{
    const std::lock_guard lock(guard);
    return files.count(path) != 0;
}

std::optional<std::uint64_t> FakeFileSystem::fileSize(const std::string& path) const
{
    const std::lock_guard lock(guard);
    const auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second.size();
}

bool FakeFileSystem::isDirectory(const std::string& path) const
{
    const std::lock_guard lock(guard);
    if (folders.count(path) != 0) return true;
    for (const auto& [name, content] : files) {
        if (folderOf(name) == path) return true;
    }
    return false;
}

std::optional<std::string> FakeFileSystem::readAll(const std::string& path, std::string* reason) const
{
    const std::lock_guard lock(guard);
    if (exhausting.count(path) != 0) throw std::bad_alloc();
    const auto it = files.find(path);
    if (it == files.end() || unreadable.count(path) != 0) {
        if (reason) *reason = it == files.end() ? "No such file or directory" : "Permission denied";
        return std::nullopt;
    }
    return it->second;
}

std::optional<platform::SharedBytes> FakeFileSystem::readShared(const std::string& path, std::string* reason) const
{
    const std::lock_guard lock(guard);
    auto bytes = FileSystem::readShared(path, reason);
    if (bytes && changing.count(path) != 0) bytes->changed = [] { return true; };
    return bytes;
}

platform::PathKind FakeFileSystem::kindOf(const std::string& path) const
{
    const std::lock_guard lock(guard);
    if (exhaustingKinds && exhausting.count(path) != 0) throw std::bad_alloc();
    if (others.count(path) != 0) return platform::PathKind::Other;
    return FileSystem::kindOf(path);
}

std::unique_ptr<platform::OutputFile> FakeFileSystem::create(const std::string& path, std::string* reason)
{
    const std::lock_guard lock(guard);
    if (folders.count(path) != 0) {
        if (reason) *reason = "Is a directory";
        return nullptr;
    }
    if (refuseCreate.count(path) != 0 || !isDirectory(folderOf(path))) {
        if (reason) *reason = refuseCreate.count(path) != 0 ? "Permission denied" : "No such file or directory";
        return nullptr;
    }
    return std::make_unique<FakeOutputFile>(*this, path);
}

namespace {

// A scratch file whose writes fail, as on a full disk.
class FailingScratchFile final : public platform::ScratchFile {
public:
    explicit FailingScratchFile(std::string reason) : m_reason(std::move(reason)) {}
    bool append(std::string_view /*bytes*/) override { return true; }
    std::optional<platform::SharedBytes> finish(std::string* reason) override
    {
        if (reason) *reason = m_reason;
        return std::nullopt;
    }

private:
    std::string m_reason;
};

// An in-memory scratch file with room for so many bytes.
class SmallScratchFile final : public platform::ScratchFile {
public:
    explicit SmallScratchFile(std::size_t room) : m_room(room) {}
    bool append(std::string_view bytes) override
    {
        if (bytes.size() > m_room - m_used) return false;
        m_used += bytes.size();
        return m_bytes.append(bytes);
    }
    std::string folder() const override { return "/fake-tmp"; }
    std::optional<platform::SharedBytes> finish(std::string* reason) override { return m_bytes.finish(reason); }

private:
    std::size_t m_room;
    std::size_t m_used = 0;
    platform::MemoryScratchFile m_bytes;
};

}  // namespace

std::unique_ptr<platform::ScratchFile> FakeFileSystem::scratch(std::string* reason) const
{
    const std::lock_guard lock(guard);
    if (scratchRefusal) {
        if (reason) *reason = *scratchRefusal;
        return nullptr;
    }
    if (scratchWriteFailure) return std::make_unique<FailingScratchFile>(*scratchWriteFailure);
    if (scratchRoom) return std::make_unique<SmallScratchFile>(*scratchRoom);
    return FileSystem::scratch(reason);
}

bool FakeFileSystem::remove(const std::string& path)
{
    const std::lock_guard lock(guard);
    files.erase(path);
    return true;
}

std::vector<std::string> FakeFileSystem::listFiles(const std::string& folder, std::string_view suffix) const
{
    const std::lock_guard lock(guard);
    std::vector<std::string> names;
    for (const auto& [path, content] : files) {
        if (folderOf(path) != folder) continue;
        const std::string name = path.substr(folder.size() + 1);
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            names.push_back(name);
        }
    }
    return names;
}

float FakeRandom::next()
{
    if (draws.empty()) {
        const float value = static_cast<float>(position % 16) / 16.0f;
        ++position;
        return value;
    }
    const float value = draws[position % draws.size()];
    ++position;
    return value;
}

}  // namespace vantor::test
