#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vantor::fuzz {

// The name of the target a fuzz program runs, as its failed checks report it; each
// *_fuzz.cpp defines it once.
extern const char* const kTargetName;

// A check that does not hold names itself and aborts: libFuzzer keeps the input that did it,
// and the replay tests expect "fuzz check failed" for the inputs of known open faults.
[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "%s fuzz check failed: %s\n", kTargetName, what);
    std::abort();
}

inline void check(bool condition, const char* what)
{
    if (!condition) fail(what);
}

}  // namespace vantor::fuzz
