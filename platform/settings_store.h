#pragma once

#include <string>

namespace vantor::platform {

// The per-user store of text settings of one application, addressed by section and key.
// Values are kept exactly as written; nothing is validated or normalised.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored value, or fallback when the key is absent.
    [[nodiscard]] virtual std::string read(const std::string& section, const std::string& key,
                                           const std::string& fallback) const = 0;
    virtual void write(const std::string& section, const std::string& key, const std::string& value) = 0;
};

}  // namespace vantor::platform
