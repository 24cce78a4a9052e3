#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// Listings, files and scene documents for the conversion tests.
namespace vantor::test {

inline const std::string kHeader = "[9:05]  Rezzer: <100, 100, 30>";
inline const std::string kLineB = "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0";

inline std::string lineA(const std::string& name, const std::string& x = "128.5")
{
    return "[9:05]  " + name + ": 1, <" + x + ", 130.25, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ";
}

// Every line followed by CR LF.
inline std::string crlf(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The text of the first element named tag.
inline std::string element(std::string_view document, const std::string& tag)
{
    const auto begin = document.find("<" + tag + ">");
    if (begin == std::string::npos) return "(missing)";
    const auto from = begin + tag.size() + 2;
    return std::string(document.substr(from, document.find("</" + tag + ">", from) - from));
}

// A strict well-formedness check of the XML the converter writes: one root element, tags
// nested and closed, names valid, attributes quoted, "<" never in text and "&" only as one
// of the five predefined entities. Empty when the text passes, else what is wrong and where.
inline std::string xmlProblem(std::string_view xml)
{
    const auto isNameChar = [](char c, bool first) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':'
            || static_cast<unsigned char>(c) >= 0x80 || (!first && ((c >= '0' && c <= '9') || c == '-' || c == '.'));
    };
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t i = 0;
    const auto fail = [&](const char* what) { return std::string(what) + " at byte " + std::to_string(i); };
    const auto name = [&] {
        const std::size_t start = i;
        while (i < xml.size() && isNameChar(xml[i], i == start)) ++i;
        return xml.substr(start, i - start);
    };
    const auto reference = [&] {
        for (const std::string_view entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
            if (xml.substr(i, entity.size()) == entity) {
                i += entity.size();
                return true;
            }
        }
        return false;
    };

    std::vector<std::string_view> open;
    int roots = 0;
    while (i < xml.size()) {
        if (xml[i] == '&') {
            if (open.empty() || !reference()) return fail("bad reference");
        } else if (xml[i] != '<') {
            if (open.empty() && !isSpace(xml[i])) return fail("text outside the root");
            ++i;
        } else if (xml.substr(i, 2) == "</") {
            i += 2;
            const auto tag = name();
            if (open.empty() || open.back() != tag || i >= xml.size() || xml[i] != '>') return fail("bad end tag");
            open.pop_back();
            ++i;
        } else {
            ++i;
            const auto tag = name();
            if (tag.empty()) return fail("bad tag name");
            if (open.empty() && ++roots > 1) return fail("second root element");
            while (true) {
                const std::size_t before = i;
                while (i < xml.size() && isSpace(xml[i])) ++i;
                if (xml.substr(i, 1) == ">") {
                    open.push_back(tag);
                    ++i;
                    break;
                }
                if (xml.substr(i, 2) == "/>") {
                    i += 2;
                    break;
                }
                if (i == before || name().empty() || xml.substr(i, 2) != "=\"") return fail("bad attribute");
                for (i += 2; i < xml.size() && xml[i] != '"';) {
                    if (xml[i] == '<' || (xml[i] == '&' && !reference())) return fail("bad attribute value");
                    if (xml[i] != '&') ++i;
                }
                if (i++ >= xml.size()) return fail("unclosed attribute");
            }
        }
    }
    if (!open.empty()) return "element " + std::string(open.back()) + " is not closed";
    return roots == 1 ? std::string() : "no root element";
}

}  // namespace vantor::test
