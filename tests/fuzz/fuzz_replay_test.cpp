#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

// The fuzz target's entry point; it aborts with a message when a check fails.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// One suite per target (VANTOR_FUZZ_SUITE), so that ctest tells them apart.
TEST(VANTOR_FUZZ_SUITE, EveryInputPassesTheTargetsChecks)
{
    const std::filesystem::path folder =
        std::filesystem::path(VANTOR_SOURCE_DIR) / "fuzz" / "corpus" / VANTOR_FUZZ_TARGET;
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    ASSERT_FALSE(inputs.empty()) << folder;

    for (const auto& input : inputs) {
        std::ifstream in(input, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // Named before the run: a failed check aborts, and this line shows which input it was.
        std::cerr << "input " << input.filename().string() << "\n";
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    }
}

}  // namespace
