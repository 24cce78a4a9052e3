#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::test {

// A strict well-formedness check of the XML the converter writes: one root element, tags
// nested and closed, names valid, attributes quoted and unique, "<" never in text and "&"
// only as one of the five predefined or a numeric character reference. Returns an empty
// text when the document passes, else what is wrong and where.
inline std::string xmlProblem(std::string_view xml)
{
    const auto isNameStart = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':'
            || static_cast<unsigned char>(c) >= 0x80;
    };
    const auto isNameChar = [&](char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; };
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    const auto where = [&](std::size_t at, const std::string& what) {
        return what + " at byte " + std::to_string(at) + ": '" + std::string(xml.substr(at, 40)) + "'";
    };

    std::vector<std::string_view> open;
    int roots = 0;
    std::size_t i = 0;
    const auto readName = [&](std::string_view& name) {
        const std::size_t start = i;
        if (i >= xml.size() || !isNameStart(xml[i])) return false;
        while (i < xml.size() && isNameChar(xml[i])) ++i;
        name = xml.substr(start, i - start);
        return true;
    };
    const auto readReference = [&]() {
        const std::size_t end = xml.find(';', i);
        if (end == std::string_view::npos) return false;
        const std::string_view ref = xml.substr(i + 1, end - i - 1);
        static const std::set<std::string_view> named = {"amp", "lt", "gt", "quot", "apos"};
        bool ok = named.count(ref) != 0;
        if (!ok && ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            ok = !digits.empty() && digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789")
                == std::string_view::npos;
        }
        if (ok) i = end + 1;
        return ok;
    };

    while (i < xml.size()) {
        const char c = xml[i];
        if (static_cast<unsigned char>(c) < 0x20 && !isSpace(c)) return where(i, "control character");
        if (c == '&') {
            if (open.empty()) return where(i, "reference outside the root");
            if (!readReference()) return where(i, "bad reference");
            continue;
        }
        if (c != '<') {
            if (open.empty() && !isSpace(c)) return where(i, "text outside the root");
            ++i;
            continue;
        }
        if (xml.substr(i, 4) == "<!--") {
            const std::size_t end = xml.find("-->", i + 4);
            if (end == std::string_view::npos) return where(i, "unclosed comment");
            i = end + 3;
            continue;
        }
        ++i;
        std::string_view name;
        if (i < xml.size() && xml[i] == '/') {
            ++i;
            if (!readName(name)) return where(i, "bad end tag name");
            while (i < xml.size() && isSpace(xml[i])) ++i;
            if (i >= xml.size() || xml[i] != '>') return where(i, "unclosed end tag");
            if (open.empty() || open.back() != name) return where(i, "end tag without its start tag");
            open.pop_back();
            ++i;
            continue;
        }
        if (!readName(name)) return where(i, "bad tag name");
        if (open.empty() && ++roots > 1) return where(i, "second root element");
        std::set<std::string_view> attributes;
        while (true) {
            const std::size_t before = i;
            while (i < xml.size() && isSpace(xml[i])) ++i;
            if (i >= xml.size()) return where(before, "unclosed start tag");
            if (xml[i] == '>') {
                open.push_back(name);
                ++i;
                break;
            }
            if (xml.substr(i, 2) == "/>") {
                i += 2;
                break;
            }
            if (i == before) return where(i, "attribute without a blank before it");
            std::string_view attribute;
            if (!readName(attribute)) return where(i, "bad attribute name");
            if (!attributes.insert(attribute).second) return where(i, "repeated attribute");
            if (i >= xml.size() || xml[i] != '=') return where(i, "attribute without '='");
            ++i;
            if (i >= xml.size() || (xml[i] != '"' && xml[i] != '\'')) return where(i, "unquoted attribute");
            const char quote = xml[i++];
            while (i < xml.size() && xml[i] != quote) {
                if (xml[i] == '<') return where(i, "'<' in an attribute");
                if (xml[i] == '&') {
                    if (!readReference()) return where(i, "bad reference");
                } else {
                    ++i;
                }
            }
            if (i >= xml.size()) return where(i, "unclosed attribute");
            ++i;
        }
    }
    if (!open.empty()) return "element " + std::string(open.back()) + " is not closed";
    if (roots != 1) return "no root element";
    return {};
}

}  // namespace vantor::test
