#include "parallel/two_halves.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace vantor::parallel {
namespace {

TEST(TwoHalves, BothHalvesRunAtOnceAndTheHelpersFailureReachesTheCaller)
{
    std::thread::id first;
    std::thread::id second;
    runInTwoHalves([&] { first = std::this_thread::get_id(); }, [&] { second = std::this_thread::get_id(); });
    EXPECT_EQ(first, std::this_thread::get_id());
    EXPECT_NE(second, std::thread::id{});
    EXPECT_NE(second, first);

    bool firstRan = false;
    EXPECT_THROW(runInTwoHalves([&] { firstRan = true; }, [] { throw std::runtime_error("second"); }),
                 std::runtime_error);
    EXPECT_TRUE(firstRan);
    // The first half's failure is handed on once the helper is done.
    bool secondDone = false;
    try {
        runInTwoHalves([] { throw std::logic_error("first"); }, [&] { secondDone = true; });
        ADD_FAILURE() << "nothing thrown";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "first");
    }
    EXPECT_TRUE(secondDone);
    EXPECT_FALSE(isWorthTwoHalves(kWorthTwoHalves - 1));
    EXPECT_TRUE(isWorthTwoHalves(kWorthTwoHalves));
}

}  // namespace
}  // namespace vantor::parallel
