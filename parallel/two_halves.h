#pragma once

#include <cstddef>
#include <exception>
#include <thread>

namespace vantor::parallel {

// The size from which a job over a text or a file is split in two halves that run at once:
// below it a second thread costs more than it saves.
inline constexpr std::size_t kWorthTwoHalves = std::size_t{8} << 20;

[[nodiscard]] constexpr bool isWorthTwoHalves(std::size_t bytes) { return bytes >= kWorthTwoHalves; }

// Runs first on this thread while second runs on a helper thread, and returns when both are
// done. What second throws is handed on to the caller as if this thread had thrown it; what
// first throws is handed on once second is done.
template <typename First, typename Second>
void runInTwoHalves(First&& first, Second&& second)
{
    std::exception_ptr helperFailure;
    {
        std::jthread helper([&second, &helperFailure] {
            try {
                second();
            } catch (...) {
                helperFailure = std::current_exception();
            }
        });
        first();
    }
    if (helperFailure) std::rethrow_exception(helperFailure);
}

}  // namespace vantor::parallel
