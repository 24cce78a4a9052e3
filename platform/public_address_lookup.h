#pragma once

#include <functional>
#include <optional>
#include <string>

namespace vantor::platform {

// Asks an outside service for the machine's public IPv4 address, without blocking the caller.
class PublicAddressLookup {
public:
    using Callback = std::function<void(const std::optional<std::string>& dottedAddress)>;
    virtual ~PublicAddressLookup() = default;
    // Starts the lookup; done is called exactly once, later, from the event loop: with the
    // dotted address, or with nothing on a timeout, a network error or an answer that is no
    // plain dotted IPv4 address.
    virtual void start(Callback done) = 0;
};

}  // namespace vantor::platform
