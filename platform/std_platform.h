#pragma once

#include "clock.h"
#include "file_system.h"
#include "random_source.h"

#include <random>

namespace vantor::platform {

// The file system through the C++ standard library; paths are UTF-8.
class StdFileSystem final : public FileSystem {
public:
    bool exists(const std::string& path) const override;
    bool isDirectory(const std::string& path) const override;
    PathKind kindOf(const std::string& path) const override;
    std::optional<std::string> readAll(const std::string& path, std::string* reason) const override;
    // Large files are read in two halves on two threads: most of the cost of reading is the
    // system handing the process fresh memory, and two cores share that.
    std::optional<SharedBytes> readShared(const std::string& path, std::string* reason) const override;
    // The bytes go to an unnamed file in the target's folder where the file system has them
    // (nothing is left behind when the process is killed), else to a hidden named one. A
    // symbolic link is written through: the file it points to is replaced, the link stays.
    // A replaced file's permission bits are kept.
    std::unique_ptr<OutputFile> create(const std::string& path, std::string* reason) override;
    bool remove(const std::string& path) override;
    std::vector<std::string> listFiles(const std::string& folder, std::string_view suffix) const override;
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
