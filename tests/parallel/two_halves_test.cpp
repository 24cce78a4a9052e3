#include "parallel/two_halves.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace vantor::parallel {
namespace {

TEST(TwoHalves, SecondHalfRunsOnAHelperThread)
{
    std::thread::id first;
    std::thread::id second;
    runInTwoHalves([&] { first = std::this_thread::get_id(); }, [&] { second = std::this_thread::get_id(); });
    EXPECT_EQ(first, std::this_thread::get_id());
    EXPECT_NE(second, std::thread::id{});
    EXPECT_NE(second, first);
}

// Either half's failure reaches the caller once both halves are done.
TEST(TwoHalves, AFailureOfEitherHalfReachesTheCaller)
{
    bool firstRan = false, secondRan = false;
    EXPECT_THROW(runInTwoHalves([&] { firstRan = true; }, [] { throw std::runtime_error("second"); }),
                 std::runtime_error);
    EXPECT_THROW(runInTwoHalves([] { throw std::logic_error("first"); }, [&] { secondRan = true; }),
                 std::logic_error);
    EXPECT_TRUE(firstRan);
    EXPECT_TRUE(secondRan);
}

}  // namespace
}  // namespace vantor::parallel
