#include "text/strings.h"

#include <gtest/gtest.h>

#include <string>

using namespace vantor::text;

namespace {

TEST(Strings, RemoveAllCutsLeftToRightWithoutOverlap)
{
    EXPECT_EQ(removeAll("/a/x.txt/x.txt", "x.txt"), "/a//");
    EXPECT_EQ(removeAll("aaa", "aa"), "a");
    EXPECT_EQ(removeAll("abc", ""), "abc");
    // A removal that brings two halves together does not remove what they make.
    EXPECT_EQ(removeAll("x..txttxt", ".txt"), "x.txt");
}

TEST(Strings, DottedIpv4IsFourNumbersUpTo255AndNothingElse)
{
    for (const char* text : {"203.0.113.7", "0.0.0.0", "255.255.255.255", "1.22.103.4"}) {
        EXPECT_TRUE(isDottedIpv4(text)) << text;
    }
    for (const char* text : {"", "256.1.1.1", "1.2.3", "1.2.3.4.5", "1.2.3.4x", "1..3.4", "01.2.3.4", "1234.2.3.4",
                             "1.2.3.4 ", " 1.2.3.4", "1.2.3.-4", "+1.2.3.4", "1.2.3.4.", "1.2.3.0400"}) {
        EXPECT_FALSE(isDottedIpv4(text)) << text;
    }
}

}  // namespace
