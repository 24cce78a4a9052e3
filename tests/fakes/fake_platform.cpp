#include "fake_platform.h"

namespace vantor::test {

namespace {

class FakeOutputFile final : public platform::OutputFile {
public:
    FakeOutputFile(FakeFileSystem& owner, std::string path) : m_owner(owner), m_path(std::move(path))
    {
        ++m_owner.openOutputs;
    }
    ~FakeOutputFile() override { --m_owner.openOutputs; }

    void write(std::string_view bytes) override { m_buffer.append(bytes); }

    bool commit(std::string* reason) override
    {
        if (m_owner.failCommit.count(m_path) != 0) {
            if (reason) *reason = "disk full";
            return false;
        }
        m_owner.files[m_path] = m_buffer;
        return true;
    }

private:
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

bool FakeFileSystem::exists(const std::string& path) const { return files.count(path) != 0; }

bool FakeFileSystem::isDirectory(const std::string& path) const
{
    if (folders.count(path) != 0) return true;
    for (const auto& [name, content] : files) {
        if (folderOf(name) == path) return true;
    }
    return false;
}

std::optional<std::string> FakeFileSystem::readAll(const std::string& path, std::string* reason) const
{
    const auto it = files.find(path);
    if (it == files.end() || unreadable.count(path) != 0) {
        if (reason) *reason = it == files.end() ? "No such file or directory" : "Permission denied";
        return std::nullopt;
    }
    return it->second;
}

std::unique_ptr<platform::OutputFile> FakeFileSystem::create(const std::string& path, std::string* reason)
{
    if (refuseCreate.count(path) != 0 || !isDirectory(folderOf(path))) {
        if (reason) *reason = refuseCreate.count(path) != 0 ? "Permission denied" : "No such file or directory";
        return nullptr;
    }
    return std::make_unique<FakeOutputFile>(*this, path);
}

bool FakeFileSystem::remove(const std::string& path)
{
    files.erase(path);
    return true;
}

std::vector<std::string> FakeFileSystem::listFiles(const std::string& folder, std::string_view suffix) const
{
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
