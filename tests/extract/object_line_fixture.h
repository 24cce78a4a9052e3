#pragma once

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace vantor::test {

using Fields = std::map<std::string, std::string>;

// An object document laid out as the converter writes it (tests/extract/data/object_template.xml),
// a plain half-metre box named Primitive at <128, 64.5, 22> unless fields say otherwise.
inline std::string objectLine(const Fields& fields = {})
{
    static const std::string kTemplate = [] {
        std::ifstream file(VANTOR_SOURCE_DIR "/tests/extract/data/object_template.xml", std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str().substr(0, text.str().find('\r'));
    }();
    Fields values{{"name", "Primitive"}, {"x", "128"}, {"y", "64.5"}, {"z", "22"}, {"extraParams", "AA=="},
                  {"pathCurve", "16"}, {"scaleX", "100"}, {"scaleY", "100"}, {"profileShape", "Square"},
                  {"hollowShape", "Same"}};
    for (const auto& [key, value] : fields) values[key] = value;
    std::string line = kTemplate;
    for (std::size_t open = line.find('{'); open != std::string::npos; open = line.find('{', open)) {
        const std::size_t close = line.find('}', open);
        const auto it = values.find(line.substr(open + 1, close - open - 1));
        line.replace(open, close - open + 1, it == values.end() ? "0" : it->second);
    }
    return line;
}

inline std::string objectAt(const std::string& x, const std::string& y, const std::string& name = "Primitive")
{
    return objectLine({{"x", x}, {"y", y}, {"name", name}});
}

}  // namespace vantor::test
