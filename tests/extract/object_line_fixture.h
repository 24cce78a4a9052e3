#pragma once

#include "convert/prim_xml.h"
#include "extract/object_lines.h"
#include "scene/object_layout.h"

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::test {

// Value texts by their index in a converter's document (scene::value).
using Fields = std::map<std::size_t, std::string>;

inline std::string fileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// An object document as the converter writes it: a plain half-metre box named Primitive at
// <128, 64.5, 22>, each of fields replacing the text of the value at its index.
inline std::string objectLine(const Fields& fields = {})
{
    static const std::string kBox = [] {
        convert::PrimValues values;
        values.position[0] = 128;
        values.position[1] = 64.5;
        values.position[2] = 22;
        values.rotation[3] = 1;
        values.size[0] = values.size[1] = values.size[2] = 0.5;
        values.shape.pathCurve = 16;
        values.shape.profileCurve = 1;
        values.names = {"Square", "Same"};
        const convert::PrimTexts texts{"11111111-2222-3333-4444-555555555555", "1001",
                                       "0123abcd-0123-4567-89ab-0123456789ab", "Primitive"};
        std::string document(convert::primDocumentBound(texts), '\0');
        document.resize(static_cast<std::size_t>(convert::writePrimDocument(document.data(), values, texts)
                                                 - document.data()));
        return document;
    }();
    extract::ValueList values;
    (void)extract::tokeniseObjectLine(kBox, values);
    std::string line = kBox;
    // From the last value back, so that the earlier values keep their offsets.
    for (auto field = fields.rbegin(); field != fields.rend(); ++field) {
        const std::string_view value = values.at(field->first);
        line.replace(static_cast<std::size_t>(value.data() - kBox.data()), value.size(), field->second);
    }
    return line;
}

inline std::string objectAt(const std::string& x, const std::string& y, const std::string& name = "Primitive")
{
    return objectLine({{scene::value::kPositionX, x}, {scene::value::kPositionY, y}, {scene::value::kName, name}});
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
