#pragma once

#include <string>

namespace vantor::platform {

// The application's name, the title of every box that has none of its own.
inline constexpr const char* kApplicationTitle = "Vantor";

enum class MessageIcon { None, Information, Warning };

// Modal message boxes. Texts join their lines with CR LF.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    // A message with an OK button.
    virtual void showMessage(const std::string& text, const std::string& title = kApplicationTitle,
                             MessageIcon icon = MessageIcon::None) = 0;
    // A question with Yes and No buttons; true for Yes.
    [[nodiscard]] virtual bool askYesNo(const std::string& text, const std::string& title = kApplicationTitle) = 0;
};

}  // namespace vantor::platform
