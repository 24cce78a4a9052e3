#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

// The fuzz target's entry point; it aborts with a message when a check fails.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

const std::filesystem::path kSourceDir(VANTOR_SOURCE_DIR);

std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names of this target's inputs listed in fuzz/open_faults.txt (faults not yet mended),
// each with why.
std::map<std::string, std::string> openFaults()
{
    std::map<std::string, std::string> names;
    std::ifstream list(kSourceDir / "fuzz" / "open_faults.txt");
    const std::string prefix = std::string(VANTOR_FUZZ_TARGET) + "/";
    for (std::string line; std::getline(list, line);) {
        if (!line.starts_with(prefix)) continue;
        const std::size_t end = std::min(line.find(' '), line.size());
        const std::size_t reason = std::min(line.find_first_not_of(' ', end), line.size());
        names.emplace(line.substr(prefix.size(), end - prefix.size()), line.substr(reason));
    }
    return names;
}

// The target's inputs in name order: those of open faults, or all the others.
std::vector<std::filesystem::path> inputs(bool ofOpenFaults)
{
    const auto open = openFaults();
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(kSourceDir / "fuzz" / "corpus" / VANTOR_FUZZ_TARGET)) {
        if (entry.is_regular_file() && open.contains(entry.path().filename().string()) == ofOpenFaults) {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

int replay(const std::string& bytes)
{
    return LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// One suite per target (VANTOR_FUZZ_SUITE), so that ctest tells them apart.
TEST(VANTOR_FUZZ_SUITE, EveryInputPassesTheTargetsChecks)
{
    const auto passing = inputs(false);
    ASSERT_FALSE(passing.empty());
    for (const auto& input : passing) {
        const std::string bytes = fileBytes(input);
        // Named before the run: a failed check aborts, and this line shows which input it was.
        std::cerr << "input " << input.filename().string() << "\n";
        EXPECT_EQ(replay(bytes), 0);
    }
}

// The inputs of open faults still fail the checks; a pass means the fault was mended and the
// input's line in fuzz/open_faults.txt is to go.
TEST(VANTOR_FUZZ_SUITE, OpenFaultsStillFailTheTargetsChecks)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto open = openFaults();
    const auto faulty = inputs(true);
    if (faulty.empty()) GTEST_SKIP() << "no open faults";
    for (const auto& input : faulty) {
        const std::string bytes = fileBytes(input);
        const std::string name = input.filename().string();
        EXPECT_DEATH(replay(bytes), "fuzz check failed") << name << ": " << open.at(name);
    }
}

}  // namespace
