#pragma once

#include <optional>
#include <string>

namespace vantor::platform {

// A modal box with a prompt, a title and a one-line answer field.
class InputBox {
public:
    virtual ~InputBox() = default;
    // The text typed (possibly empty); nothing when the user cancels or closes the box.
    [[nodiscard]] virtual std::optional<std::string> ask(const std::string& prompt, const std::string& title,
                                                         const std::string& defaultText) = 0;
};

}  // namespace vantor::platform
