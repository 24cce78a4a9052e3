#pragma once

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::test {

using Fields = std::map<std::string, std::string>;

inline std::string fileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// An object document laid out as the converter writes it (tests/extract/data/object_template.xml),
// a plain half-metre box named Primitive at <128, 64.5, 22> unless fields say otherwise.
inline std::string objectLine(const Fields& fields = {})
{
    static const std::string kTemplate = fileText(VANTOR_SOURCE_DIR "/tests/extract/data/object_template.xml");
    Fields values{{"name", "Primitive"}, {"x", "128"}, {"y", "64.5"}, {"z", "22"}, {"extraParams", "AA=="},
                  {"pathCurve", "16"}, {"scaleX", "100"}, {"scaleY", "100"}, {"profileShape", "Square"},
                  {"hollowShape", "Same"}};
    for (const auto& [key, value] : fields) values[key] = value;
    std::string line = kTemplate.substr(0, kTemplate.find('\r'));
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

// The texts of the Name elements of the lines that have one, in line order.
template <typename Lines>
std::vector<std::string> namesOf(const Lines& lines)
{
    std::vector<std::string> names;
    for (const std::string_view line : lines) {
        const std::size_t tag = line.find("<Name>");
        if (tag != std::string_view::npos) names.emplace_back(line.substr(tag + 6, line.find("</Name>") - tag - 6));
    }
    return names;
}

// A scene file: "<scene>", an empty line, the objects (object k, from 1, on line k + 2), an
// empty line and "</scene>".
inline std::string sceneFile(const std::vector<std::string>& objects, const std::string& lineEnd = "\r\n")
{
    std::string text = "<scene>" + lineEnd + lineEnd;
    for (const auto& object : objects) text += object + lineEnd;
    return text + lineEnd + "</scene>" + lineEnd;
}

}  // namespace vantor::test
