#pragma once

#include <string_view>

namespace vantor::text {

// Writes the lines around the object documents of a scene file: "<scene>" and an empty line
// before them, an empty line and "</scene>" after them, every line ending in CR LF. Output is
// any file with write(std::string_view).
template <typename Output>
class SceneWrapper {
public:
    explicit SceneWrapper(Output& file) : m_file(file) {}
    void begin() { m_file.write(std::string_view("<scene>\r\n\r\n")); }
    void end() { m_file.write(std::string_view("\r\n</scene>\r\n")); }

private:
    Output& m_file;
};

}  // namespace vantor::text
